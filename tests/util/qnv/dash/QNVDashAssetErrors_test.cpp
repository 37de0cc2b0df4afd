// How the asset turns errors into a failed state, a loading error and stop
// notices, how it limits warnings, and its read-outs of the stream.
#include <gtest/gtest.h>

#include <string>

#include "util/qnv/dash/DashAssetUnitFixture.h"

namespace plexora {
namespace {

using testing::DashAssetUnitFixture;
using testing::NotificationRecorder;

constexpr const char* kCauseDomain = "NSURLErrorDomain";
constexpr int64_t kCauseCode = -1004;

class QNVDashAssetErrorsTest : public DashAssetUnitFixture {
 protected:
  // A parsed static playlist with nothing to fetch: a load starts no
  // download, and only the errors given here reach the asset.
  void SetUp() override {
    onQueue([this] {
      makeAsset();
      parsePlaylist(kQNVDashVideoTypeSegmentList);
    });
  }

  platform::Error cause() const {
    return platform::Error(kCauseDomain, kCauseCode, platform::Dictionary{{"detail", std::string("refused")}});
  }
};

TEST_F(QNVDashAssetErrorsTest, OnlyTheFirstNineWarningsArePosted) {
  onQueue([&] {
    NotificationRecorder warnings(kQNVAssetWarning, asset_.get());
    NotificationRecorder stops(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
    for (int index = 0; index < 12; ++index) asset_->reportWarning(platform::Error("QNVMp4Parser", index));
    ASSERT_EQ(warnings.received.size(), 9U);
    EXPECT_EQ(QNVErrorFromValue(*warnings.received[8].userInfo.find(kQNVAssetWarningErrorKey))->code(), 8);
    EXPECT_EQ(asset_->warningCount(), 12);
    EXPECT_EQ(log_.count("adding warning"), 12U);
    EXPECT_TRUE(stops.received.empty());
    EXPECT_EQ(asset_->status(), kQNVAssetStatusReadyToPlay);
  });
}

TEST_F(QNVDashAssetErrorsTest, AnErrorWhileLoadingFailsTheLoadOnceWithTheCause) {
  NotificationRecorder stops(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
  int calls = 0;
  onQueue([&] { asset_->loadValuesAsynchronouslyForKeys({"duration"}, [&] { ++calls; }); });
  onQueue([&] {
    asset_->loadingDidFailWithError(cause());
    asset_->parsingDidFailWithError(platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorParseFailed));
  });
  EXPECT_EQ(calls, 1);
  // Every error stops playback, the second one too.
  EXPECT_EQ(stops.received.size(), 2U);
  onQueue([&] {
    EXPECT_EQ(asset_->status(), kQNVAssetStatusFailed);
    std::optional<platform::Error> error;
    ASSERT_EQ(asset_->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kQNVAssetLoadingError);
    EXPECT_EQ(error->code(), kQNVAssetLoadingErrorDownloadFailed);
    // The loading error is the latest cause's.
    EXPECT_EQ(error->userInfo().find("code")->asInteger(), kQNVAssetLoadingErrorParseFailed);
    EXPECT_EQ(error->userInfo().find("domain")->asString(), kQNVAssetLoadingError);
  });

  // A load asked for afterwards answers at once.
  onQueue([&] { asset_->loadValuesAsynchronouslyForKeys({}, [&] { ++calls; }); });
  onQueue([] {});
  EXPECT_EQ(calls, 2);
}

TEST_F(QNVDashAssetErrorsTest, LoadingErrorCarriesTheCauseCodeDomainAndDetails) {
  onQueue([&] { asset_->loadValuesAsynchronouslyForKeys({}, [] {}); });
  onQueue([&] {
    asset_->loadingDidFailWithError(cause());
    std::optional<platform::Error> error;
    ASSERT_EQ(asset_->statusOfValueForKey("", &error), kQNVKeyValueStatusFailed);
    EXPECT_EQ(error->code(), 557);
    EXPECT_EQ(error->userInfo().find("code")->asInteger(), kCauseCode);
    EXPECT_EQ(error->userInfo().find("domain")->asString(), kCauseDomain);
    EXPECT_EQ(error->userInfo().find("detail")->asString(), "refused");
    EXPECT_EQ(asset_->error(), cause());
  });
}

TEST_F(QNVDashAssetErrorsTest, ASecondLoadRequestReplacesTheFirstHandler) {
  int first = 0;
  int second = 0;
  onQueue([&] {
    asset_->loadValuesAsynchronouslyForKeys({}, [&] { ++first; });
    asset_->loadValuesAsynchronouslyForKeys({}, [&] { ++second; });
  });
  onQueue([&] { asset_->loadingDidFailWithError(cause()); });
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST_F(QNVDashAssetErrorsTest, AnErrorAfterTheHeadersFailsPlaybackButNotTheLoad) {
  NotificationRecorder stops(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
  int calls = 0;
  onQueue([&] { asset_->loadValuesAsynchronouslyForKeys({}, [&] { ++calls; }); });
  onQueue([&] {
    access_->setParsedHeadersForEachTrack(true);
    asset_->loadingDidFailWithError(cause());
    EXPECT_EQ(asset_->status(), kQNVAssetStatusFailed);
    EXPECT_TRUE(asset_->hasPlaybackFailed());
    std::optional<platform::Error> error;
    EXPECT_EQ(asset_->statusOfValueForKey("", &error), kQNVKeyValueStatusLoaded);
    EXPECT_FALSE(error);
  });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(stops.received.size(), 1U);

  // The player asks again later: the stored error is posted once more.
  onQueue([&] { asset_->requestErrorNotificationIfNeeded(); });
  onQueue([] {});
  ASSERT_EQ(stops.received.size(), 2U);
  const platform::Value* posted = stops.received[1].userInfo.find(kAVPlayerItemFailedToPlayToEndTimeErrorKey);
  ASSERT_NE(posted, nullptr);
  EXPECT_EQ(QNVErrorFromValue(*posted), cause());
}

TEST_F(QNVDashAssetErrorsTest, DebugDetailsNameTheKindOriginAndQuality) {
  onQueue([&] {
    struct Case {
      const char* name;
      int64_t videoType;
      bool expectsFutureUpdates;
      bool inlineManifest;
      bool prefetchQuality;
      uint32_t selectorType;
      bool playing;
      const char* expected;
    };
    const Case cases[] = {
        {"static segmented, inline, selector 3", kQNVDashVideoTypeSegmentList, false, true, false, 3, true,
         "qd_i_a_360p_3:360p,720p"},
        {"dynamic live, remote", kQNVDashVideoTypeLive, true, false, false, 0, false, "live_d_r_a"},
        {"static live, prefetched quality", kQNVDashVideoTypeLive, false, true, true, 2, true,
         "live_s_i_p_360p_2:360p,720p"},
        {"fragmented", kQNVDashVideoTypeFragmented, false, true, false, 0, false, "vod_a"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      QNVDashAssetConfig config;
      config.abrSelectorType = c.selectorType;
      makeAsset(config, c.inlineManifest ? "<MPD/>" : "");
      EXPECT_EQ(asset_->debugDetails(), "unknown");
      parsePlaylist(c.videoType, {testing::representation("v1", "360p", 500'000)}, "v1");
      playlist().expectsFutureUpdates = c.expectsFutureUpdates;
      playlist().usedPrefetchQuality = c.prefetchQuality;
      playlist().availableQualities = "360p,720p";
      if (c.playing) access_->setPlaybackRepresentation("v1");
      EXPECT_EQ(asset_->debugDetails(), c.expected);
    }
  });
}

TEST_F(QNVDashAssetErrorsTest, ReadOutsFollowThePlaylistAndTrackers) {
  onQueue([&] {
    parsePlaylist(kQNVDashVideoTypeFragmented,
                  {testing::representation("v1", "360p", 500'000), testing::representation("v2", "720p", 900'000)},
                  "v1");
    EXPECT_EQ(asset_->representationId(), "v1");
    EXPECT_EQ(asset_->qualityLabel(), "360p");
    access_->setPlaybackRepresentation("v2");
    EXPECT_EQ(asset_->representationId(), "v2");
    EXPECT_EQ(asset_->qualityLabel(), "720p");

    asset_->downloadTrackerForTrack(kQNVVideoTrack)->bytesReceived = 300;
    asset_->downloadTrackerForTrack(kQNVAudioTrack)->bytesReceived = 20;
    asset_->downloadTrackerForTrack(kQNVVideoTrack)->bytesRequested = 1000;
    asset_->downloadTrackerForTrack(kQNVAudioTrack)->bytesRequested = 100;
    EXPECT_EQ(asset_->receivedBytesCount(), 320U);
    EXPECT_EQ(asset_->requestedBytesCount(), 1100U);

    addTimeline(kQNVVideoTrack, 5, 2);
    playlist().videoFetchIndex = 2;
    EXPECT_EQ(asset_->unfetchedSegmentCountForTrack(kQNVVideoTrack), 3);
  });
}

TEST_F(QNVDashAssetErrorsTest, PrefetchReadOutCountsBytesFromThePrefetchCache) {
  onQueue([&] {
    EXPECT_FALSE(asset_->getUpdatedPrefetchMetadataIfPossible().isPrefetched);

    asset_->downloadTrackerForTrack(kQNVVideoTrack)->bytesFromPrefetchCache = 4000;
    asset_->downloadTrackerForTrack(kQNVAudioTrack)->bytesFromPrefetchCache = 500;
    const QNVDashAssetPrefetchMetadata prefetched = asset_->getUpdatedPrefetchMetadataIfPossible();
    EXPECT_TRUE(prefetched.isPrefetched);
    EXPECT_TRUE(prefetched.isPreviouslyKnownURL);
    EXPECT_EQ(prefetched.prefetchBytesReceived, 4500U);

    // An in-memory hit is reported as such and no longer recounted.
    QNVDashAssetPrefetchMetadata inMemory;
    inMemory.isInMemoryCached = true;
    asset_->setPrefetchMetadata(inMemory);
    EXPECT_EQ(asset_->getUpdatedPrefetchMetadataIfPossible().prefetchBytesReceived, 0U);
  });
}

}  // namespace
}  // namespace plexora

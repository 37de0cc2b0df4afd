// Which representation the next fetch of a track downloads.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/dash/DashAssetUnitFixture.h"

namespace plexora {
namespace {

using testing::DashAssetUnitFixture;
using testing::representation;

constexpr uint32_t kSegmentSize = 5000;
constexpr uint64_t kFirstSegmentOffset = 1000;

// A fetcher that only answers which URLs it holds already.
class PrefetchedUrls final : public QNVAssetResourceLoaderDelegate {
 public:
  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {}
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL& url) override {
    return urls.count(url.absoluteString()) != 0;
  }
  std::set<std::string> urls;
};

class QNVDashAssetQualityTest : public DashAssetUnitFixture {
 protected:
  void makeAssetWith(bool vodSwitch, bool liveSwitch, uint32_t selectorType = kQNVAbrSelectorTypeHighest,
                     uint32_t segmentsFromEndToStartPrefetch = 0) {
    QNVDashAssetConfig config;
    config.enableVodMidstreamSwitch = vodSwitch;
    config.enableLiveMidstreamSwitch = liveSwitch;
    config.abrSelectorType = selectorType;
    config.segmentsFromEndToStartPrefetch = segmentsFromEndToStartPrefetch;
    makeAsset(config);
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::main(), std::nullopt, std::nullopt,
                                          std::nullopt);
  }

  // Two qualities of one fragmented file each; "low" chosen at parse.
  void fragmentedTwoQualities() {
    parsePlaylist(kQNVDashVideoTypeFragmented,
                  {representation("low", "180p", 200'000), representation("high", "720p", 900'000)}, "low");
    for (const char* id : {"low", "high"}) {
      playlist().addFragmentedUrl(platform::URL::parse(fileUrl(id)), id, kQNVVideoTrack);
    }
  }
  static std::string fileUrl(const std::string& id) { return "http://127.0.0.1/vod/" + id + ".mp4"; }

  // The last request of the video track ended `received` bytes after the
  // first segment's start.
  void finishVideoRequest(const std::string& id, uint64_t received) {
    auto& tracker = *asset_->downloadTrackerForTrack(kQNVVideoTrack);
    tracker.setRequest(std::make_shared<QNVLoadingRequest>(nullptr, nullptr, platform::URLRequest(fileUrl(id)),
                                                           nullptr),
                       kFirstSegmentOffset, received, id);
    tracker.markBytesReceived(received);
    tracker.markRequestAsFinishedWithRequestLength(received);
  }

  std::optional<std::string> chooseVideo() {
    access_->selectRepresentationForTrack(kQNVVideoTrack);
    return asset_->fetchingRepresentationIdForTrack(kQNVVideoTrack);
  }

  std::shared_ptr<PrefetchedUrls> fetcher_ = std::make_shared<PrefetchedUrls>();
};

TEST_F(QNVDashAssetQualityTest, WithoutMidstreamSwitchTheParseChoiceStays) {
  onQueue([&] {
    makeAssetWith(false, false);
    fragmentedTwoQualities();
    EXPECT_EQ(chooseVideo(), "low");
    EXPECT_EQ(log_.count("using same fetch quality"), 0U);
    EXPECT_EQ(chooseVideo(), "low");
    EXPECT_EQ(log_.count("using same fetch quality: 180p"), 1U);
  });
}

TEST_F(QNVDashAssetQualityTest, TheOnlyRepresentationIsTaken) {
  onQueue([&] {
    makeAssetWith(false, false);
    parsePlaylist(kQNVDashVideoTypeSegmentList, {representation("only", "360p", 500'000)});
    EXPECT_EQ(chooseVideo(), "only");
  });
}

TEST_F(QNVDashAssetQualityTest, AudioFetchesThePlaylistsAudioRepresentation) {
  onQueue([&] {
    makeAssetWith(true, true);
    fragmentedTwoQualities();
    playlist().audioRepresentationId = "audio-1";
    access_->selectRepresentationForTrack(kQNVAudioTrack);
    EXPECT_EQ(asset_->fetchingRepresentationIdForTrack(kQNVAudioTrack), "audio-1");
    EXPECT_FALSE(asset_->fetchingRepresentationIdForTrack(kQNVVideoTrack));
  });
}

TEST_F(QNVDashAssetQualityTest, FragmentedFirstChoicePrefersAPrefetchedQuality) {
  onQueue([&] {
    makeAssetWith(true, false);
    fragmentedTwoQualities();
    fetcher_->urls.insert(fileUrl("low"));
    EXPECT_EQ(chooseVideo(), "low");
    EXPECT_TRUE(playlist().usedPrefetchQuality);
    EXPECT_EQ(log_.count("Selecting DASH VoD quality we've already prefetched, rep_id:low"), 1U);
  });
}

TEST_F(QNVDashAssetQualityTest, FragmentedSwitchesOnlyAtSegmentBoundaries) {
  onQueue([&] {
    struct Case {
      const char* name;
      uint64_t received;
      const char* expected;
    };
    const Case cases[] = {
        // Ended inside segment 1: a switch would splice two encodings.
        {"inside a segment", kSegmentSize + 10, "low"},
        {"at the start of segment 2", 2 * kSegmentSize, "high"},
        // The end of the last segment is no segment start.
        {"at the end of the file", 3 * kSegmentSize, "low"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      makeAssetWith(true, false);
      fragmentedTwoQualities();
      access_->addParsedRepresentation(kQNVVideoTrack, "low", 3, kSegmentSize, 1000, kFirstSegmentOffset);
      access_->setFetchingRepresentation(kQNVVideoTrack, "low");
      finishVideoRequest("low", c.received);
      EXPECT_EQ(chooseVideo(), c.expected);
      // The prefetch preference is for the first choice only.
      EXPECT_FALSE(playlist().usedPrefetchQuality);
    }
    EXPECT_EQ(log_.count("Switching fetch quality from 180p to 720p"), 1U);
  });
}

TEST_F(QNVDashAssetQualityTest, BoundaryNeedsAParsedPreviousRequest) {
  onQueue([&] {
    makeAssetWith(true, false);
    fragmentedTwoQualities();
    access_->setFetchingRepresentation(kQNVVideoTrack, "low");
    EXPECT_FALSE(access_->previousRequestFinishedAtBoundary(kQNVVideoTrack));
    finishVideoRequest("low", kSegmentSize);
    // Headers of "low" not parsed yet.
    EXPECT_FALSE(access_->previousRequestFinishedAtBoundary(kQNVVideoTrack));
    access_->addParsedRepresentation(kQNVVideoTrack, "low", 3, kSegmentSize, 1000, kFirstSegmentOffset);
    EXPECT_TRUE(access_->previousRequestFinishedAtBoundary(kQNVVideoTrack));
  });
}

TEST_F(QNVDashAssetQualityTest, LiveChoicesPerTimelineEntry) {
  onQueue([&] {
    struct Case {
      const char* name;
      int32_t fetchIndex;
      std::optional<std::string> alreadySelected;
      bool lowPrefetched;
      const char* expected;
    };
    const Case cases[] = {
        {"selector decides", 1, std::nullopt, false, "high"},
        {"entry keeps its earlier choice", 1, std::string("low"), false, "low"},
        // Within the first two entries a prefetched quality wins.
        {"prefetched near the start", 1, std::nullopt, true, "low"},
        {"prefetched past the prefetch window", 2, std::nullopt, true, "high"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      makeAssetWith(false, true, kQNVAbrSelectorTypeHighest, 2);
      parsePlaylist(kQNVDashVideoTypeLive,
                    {representation("low", "180p", 200'000), representation("high", "720p", 900'000)});
      addTimeline(kQNVVideoTrack, 4, 2, 0, {"low", "high"});
      playlist().videoFetchIndex = c.fetchIndex;
      auto& entry = *playlist().timelineEntries(kQNVVideoTrack)[static_cast<size_t>(c.fetchIndex)];
      if (c.alreadySelected) entry.selectRepresentation(*c.alreadySelected);
      if (c.lowPrefetched) fetcher_->urls.insert(entry.getUrlForRepresentation("low")->absoluteString());
      EXPECT_EQ(chooseVideo(), c.expected);
      // The choice is recorded in the entry, so a refetch keeps it.
      EXPECT_EQ(entry.selectedRepresentationId(), c.expected);
    }
  });
}

TEST_F(QNVDashAssetQualityTest, LiveWithoutMetadataForTheFetchIndexKeepsTheQuality) {
  onQueue([&] {
    makeAssetWith(false, true);
    parsePlaylist(kQNVDashVideoTypeLive, {representation("low", "180p", 200'000), representation("high", "720p", 900'000)});
    addTimeline(kQNVVideoTrack, 2, 2, 0, {"low", "high"});
    access_->setFetchingRepresentation(kQNVVideoTrack, "low");
    playlist().videoFetchIndex = 5;
    testing::QNVExpectedSoftAssertions assertions;
    EXPECT_EQ(chooseVideo(), "low");
    EXPECT_TRUE(assertions.sawReason("Trying to select a representation for a segment we have no metadata about"));
  });
}

}  // namespace
}  // namespace plexora

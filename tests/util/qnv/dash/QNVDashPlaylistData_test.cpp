#include <gtest/gtest.h>

#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/RuntimeTestSupport.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashDownloadTracker.h"
#include "util/qnv/dash/QNVDashPlaylistData.h"

namespace plexora {
namespace {

using testing::RuntimeLogCapture;

platform::URL url(const char* text) { return *platform::URL::parse(text); }

platform::MediaTimeRange twoSecondsAt(int64_t seconds) {
  return platform::MediaTimeRange::make(platform::MediaTime::make(seconds, 1), platform::MediaTime::make(2, 1));
}

// The entry's mutators belong on the media-state queue.
template <typename Work>
void onQueue(Work work) {
  QNVMediaStateQueue()->sync([&] { work(); });
}

TEST(QNVDashTimelineEntry, UrlNeedsASelectionWhenThereIsAChoice) {
  onQueue([] {
    QNVDashTimelineEntry entry(twoSecondsAt(0));
    EXPECT_FALSE(entry.url());
    entry.addUrl(url("http://h.test/a.m4s"), "a");
    EXPECT_EQ(entry.url()->absoluteString(), "http://h.test/a.m4s");
    entry.addUrl(url("http://h.test/b.m4s"), "b");
    // Two qualities and none chosen: no arbitrary one, and the engine says so.
    {
      testing::QNVExpectedSoftAssertions expected;
      EXPECT_FALSE(entry.url());
      EXPECT_EQ(expected.reasons(), std::vector<std::string>{"url called before representation selected"});
    }
    entry.selectRepresentation("b");
    EXPECT_EQ(entry.url()->absoluteString(), "http://h.test/b.m4s");
    EXPECT_EQ(entry.defaultRepresentation(), "a");
    EXPECT_EQ(entry.availableRepresentations(), (std::vector<std::string>{"a", "b"}));
  });
}

TEST(QNVDashTimelineEntry, MissingUrlOrIdChangesNothing) {
  RuntimeLogCapture log;
  testing::QNVExpectedSoftAssertions expected;
  onQueue([] {
    QNVDashTimelineEntry entry(twoSecondsAt(0));
    entry.addUrl(std::nullopt, "a");
    entry.addUrl(url("http://h.test/a.m4s"), "");
    EXPECT_TRUE(entry.availableRepresentations().empty());
    EXPECT_EQ(entry.defaultRepresentation(), "");
    EXPECT_FALSE(entry.getUrlForRepresentation("a"));
    entry.selectRepresentation("");
    EXPECT_FALSE(entry.selectedRepresentationId());
  });
  EXPECT_TRUE(log.contains("selectRepresentation called with nil URL"));
  EXPECT_TRUE(log.contains("getUrlForRepresentation returning nil for rep:a"));
  // The empty id, once added and once selected.
  EXPECT_EQ(expected.reasons(), std::vector<std::string>(2, "selectRepresentation called with nil representation_id"));
}

TEST(QNVDashTimelineEntry, ReplacingAUrlLogsUnlessItIsAudio) {
  RuntimeLogCapture log;
  onQueue([] {
    QNVDashTimelineEntry entry(twoSecondsAt(0));
    entry.addUrl(url("http://h.test/a.m4s"), "a");
    entry.addUrl(url("http://h.test/a.m4a"), "a");
    EXPECT_EQ(entry.getUrlForRepresentation("a")->absoluteString(), "http://h.test/a.m4a");
  });
  EXPECT_FALSE(log.contains("Replacing one video URL"));
  onQueue([] {
    QNVDashTimelineEntry entry(twoSecondsAt(0));
    entry.addUrl(url("http://h.test/a.m4s"), "a");
    entry.addUrl(url("http://h.test/b.m4s"), "a");
  });
  EXPECT_TRUE(log.contains("Replacing one video URL with another http://h.test/a.m4s->http://h.test/b.m4s"));
}

TEST(QNVDashPlaylistData, NewDataAndDerivedTypes) {
  QNVDashPlaylistData data;
  EXPECT_FALSE(data.isFragmented());
  EXPECT_FALSE(data.isLive());
  EXPECT_FALSE(data.isSegmented());
  EXPECT_TRUE(data.isFragmentedUrlOnOvCdn());
  EXPECT_TRUE(data.timelineEntries(kQNVVideoTrack).empty());
  EXPECT_TRUE(data.timelineEntries(kQNVAudioTrack).empty());
  EXPECT_EQ(data.indexToForceFetchTo, -1);
  data.videoType = kQNVDashVideoTypeSegmentList;
  EXPECT_TRUE(data.isSegmented());
  EXPECT_FALSE(data.isLive());
  // Template segments of a presentation that was static from the start are
  // on demand; once a manifest was dynamic they are live, even after a
  // last, static one.
  data.videoType = kQNVDashVideoTypeLive;
  EXPECT_TRUE(data.isSegmented());
  EXPECT_FALSE(data.isLive());
  data.hasBeenDynamic = true;
  EXPECT_TRUE(data.isLive() && data.isSegmented());
}

TEST(QNVDashPlaylistData, PerRepresentationLookupsAndTheirFallbacks) {
  RuntimeLogCapture log;
  QNVDashPlaylistData data;
  data.addSegmentedInitUrl(url("http://h.test/i1.mp4"), "v1", kQNVVideoTrack);
  data.addSegmentedInitUrl(url("http://h.test/i2.mp4"), "v2", kQNVVideoTrack);
  data.addSegmentedInitUrl(url("http://h.test/ia.mp4"), "a", kQNVAudioTrack);
  EXPECT_EQ(data.segmentedInitUrlForRepresentation("v1", kQNVVideoTrack)->absoluteString(), "http://h.test/i1.mp4");
  EXPECT_EQ(data.segmentedInitUrlForRepresentation("zz", kQNVVideoTrack)->absoluteString(), "http://h.test/i2.mp4");
  EXPECT_EQ(data.segmentedInitUrlForRepresentation("", kQNVVideoTrack)->absoluteString(), "http://h.test/i2.mp4");
  EXPECT_EQ(data.segmentedInitUrlForRepresentation("x", kQNVAudioTrack)->absoluteString(), "http://h.test/ia.mp4");
  EXPECT_FALSE(data.segmentedInitUrlForRepresentation("v1", 2));
  EXPECT_TRUE(log.contains("no url for representation:zz have:v1"));
  EXPECT_TRUE(log.contains("segmentedInitUrlForRepresentation called with undexpected track:2"));

  data.addRepresentationProperties(QNVDashRepresentationProperties("v1", 100, "low", 640, 360), kQNVVideoTrack);
  data.addRepresentationProperties(QNVDashRepresentationProperties("v2", 200, "high", 1280, 720), kQNVVideoTrack);
  data.addRepresentationProperties(QNVDashRepresentationProperties("", 300, "none", 1, 1), kQNVVideoTrack);
  data.addRepresentationProperties(QNVDashRepresentationProperties("a", 64, "", 0, 0), kQNVAudioTrack);
  EXPECT_EQ(data.properties().size(), 2U) << "a nil id is not stored";
  EXPECT_EQ(data.bitrateForRepresentation("v1", kQNVVideoTrack), 100U);
  EXPECT_EQ(data.bitrateForRepresentation("zz", kQNVVideoTrack), 300U);
  EXPECT_EQ(data.bitrateForRepresentation("", kQNVAudioTrack), 64U);
  EXPECT_EQ(data.bitrateForRepresentation("v1", 2), 0U);
  EXPECT_TRUE(log.contains("addRepresentationProperties called with nil representation_id"));

  data.addEncodedInitData("", "v1", kQNVVideoTrack);
  EXPECT_FALSE(data.encodedDataInitForRepresentation("v1", kQNVVideoTrack));
  data.addEncodedInitData("QUJD", "v1", kQNVVideoTrack);
  data.addEncodedInitData("QUFB", "a", kQNVAudioTrack);
  EXPECT_EQ(data.encodedDataInitForRepresentation("v1", kQNVVideoTrack), "QUJD");
  EXPECT_EQ(data.encodedDataInitForRepresentation("v2", kQNVVideoTrack), "QUJD");
  EXPECT_EQ(data.encodedDataInitForRepresentation("", kQNVAudioTrack), "QUFB");
  EXPECT_TRUE(log.contains("no initDataFor for representation:v2 have:v1"));
}

TEST(QNVDashPlaylistData, FragmentedUrlsAndTheOwnCdnFlag) {
  RuntimeLogCapture log;
  QNVDashPlaylistData data;
  data.addFragmentedUrl(url("https://v.plexora-cdn.net/v1.mp4"), "v1", kQNVVideoTrack);
  data.addFragmentedInitializationLength(1000, "v1", kQNVVideoTrack);
  EXPECT_TRUE(data.isFragmentedUrlOnOvCdn());
  // An audio URL elsewhere clears the flag for good.
  data.addFragmentedUrl(url("https://elsewhere.test/a.mp4"), "a", kQNVAudioTrack);
  data.addFragmentedUrl(url("https://v.plexora-cdn.net/v2.mp4"), "v2", kQNVVideoTrack);
  EXPECT_FALSE(data.isFragmentedUrlOnOvCdn());
  EXPECT_EQ(data.fragmentedUrlForRepresentation("v2", kQNVVideoTrack)->absoluteString(),
            "https://v.plexora-cdn.net/v2.mp4");
  EXPECT_EQ(data.fragmentedUrlForRepresentation("a", kQNVAudioTrack)->absoluteString(), "https://elsewhere.test/a.mp4");
  EXPECT_EQ(data.fragmentedInitializationLengthForRepresentation("v1", kQNVVideoTrack), 1000U);
  {
    testing::QNVExpectedSoftAssertions expected;
    EXPECT_EQ(data.fragmentedInitializationLengthForRepresentation("v9", kQNVVideoTrack), 0U);
    EXPECT_EQ(expected.reasons(), std::vector<std::string>{"no number for representation:v9 have:v1"});
  }
  EXPECT_EQ(data.fragmentedInitializationLengthForRepresentation("", kQNVAudioTrack), 0U);
  data.addFragmentedInitializationLength(0, "v3", kQNVVideoTrack);
  data.addFragmentedUrl(url("https://h.test/x.mp4"), "x", 2);
  EXPECT_TRUE(log.contains("addFragmentedInitializationLength called with 0 length"));
  EXPECT_TRUE(log.contains("fragmentedInitializationLengthForRepresentation called before audio properties set"));
  EXPECT_TRUE(log.contains("addFragmentedUrl called with undexpected track:2"));
}

TEST(QNVDashDownloadTracker, FinishRecordsWhereTheRequestStopped) {
  RuntimeLogCapture log;
  QNVDashDownloadTracker tracker;
  EXPECT_FALSE(tracker.fetchInProgress());
  auto request = std::make_shared<QNVLoadingRequest>(nullptr, nullptr, platform::URLRequest{}, nullptr);
  tracker.setRequest(request, 1000, 0, "v1");
  EXPECT_TRUE(tracker.fetchInProgress());
  tracker.markBytesReceived(5000);
  tracker.markRequestAsFinishedWithRequestLength(5000);
  EXPECT_FALSE(tracker.fetchInProgress());
  EXPECT_EQ(tracker.lastRequestReceiveOffset(), 6000U);
  EXPECT_EQ(tracker.lastRequestRepresentationId(), "v1");
  EXPECT_FALSE(tracker.currentRequestRepresentationId());
  EXPECT_FALSE(log.contains("Updating request length"));

  tracker.setRequest(request, 6000, 4000, "v2");
  tracker.markBytesReceived(4010);
  EXPECT_TRUE(log.contains("Received more bytes than expected: 4010"));
  EXPECT_EQ(tracker.currentRequestBytesReceived(), 4010U);
  tracker.markRequestAsFinishedWithRequestLength(5000);
  EXPECT_TRUE(log.contains("Updating request length for non-zero value: 5000"));
  EXPECT_EQ(tracker.bytesReceived, 9010U);

  tracker.setRequest(request, 0, 100, "v3");
  tracker.markBytesReceived(30);
  tracker.markRequestAsCanceled();
  EXPECT_EQ(tracker.lastRequestReceiveOffset(), 30U);
  EXPECT_EQ(tracker.lastRequestRepresentationId(), "v3");
}

TEST(QNVDashDownloadTracker, SeekKeepsThePrefetchCount) {
  QNVDashDownloadTracker tracker;
  tracker.bytesFromPrefetchCache = 77;
  tracker.bytesRequested = 10;
  tracker.markBytesReceived(10);
  tracker.clearDataForSeek();
  EXPECT_EQ(tracker.bytesFromPrefetchCache, 77U);
  EXPECT_EQ(tracker.bytesRequested, 0U);
  EXPECT_EQ(tracker.bytesReceived, 0U);
  EXPECT_EQ(tracker.lastRequestReceiveOffset(), 0U);
  EXPECT_NE(tracker.description().find("total:0/0 cur:0,0/0-(null) prev:0-(null)"), std::string::npos);
}

}  // namespace
}  // namespace plexora

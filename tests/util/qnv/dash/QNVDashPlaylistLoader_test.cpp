#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/Dates.h"
#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "testserver/DashLiveManifest.h"
#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/dash/DashLoaderFixture.h"
#include "util/qnv/dash/QNVDashManifestFixtures.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"

namespace plexora {
namespace {

using testing::adaptationSet;
using testing::DashLoaderFixture;
using testing::mpdDocument;
using testing::onQueue;
using testing::segmentBaseRepresentation;
using testing::segmentTemplateRepresentation;
using testing::timelineOf;

// A live manifest: one video representation per id and one audio, 2 s
// segments (timescale 1000) starting at the given seconds.
std::string liveManifest(int64_t firstSecond, int count, const std::vector<std::string>& videoIds = {"v1"},
                         bool withAudio = true, const std::string& attributes = "type=\"dynamic\"") {
  const std::string timeline = timelineOf(static_cast<uint64_t>(firstSecond) * 1000, 2000, count);
  std::string video;
  for (const auto& id : videoIds) video += segmentTemplateRepresentation(id, "video/mp4", 500000, timeline);
  std::string body = adaptationSet(video);
  if (withAudio) body += adaptationSet(segmentTemplateRepresentation("a1", "audio/mp4", 64000, timeline));
  return mpdDocument(body, attributes);
}

QNVDashPlaylistLoaderSettings liveSettings() {
  QNVDashPlaylistLoaderSettings settings;
  settings.segmentsFromEndToStartPrefetch = 100;
  settings.segmentsFromEndToStartUpdate = 100;
  return settings;
}

class QNVDashPlaylistLoaderTest : public DashLoaderFixture {
 protected:
  // Serves `manifest` as the live manifest from now on.
  void serve(const std::string& manifest, const std::string& path = "/live.mpd") {
    server_.on(path, testserver::Response::text(200, manifest));
  }
  std::vector<double> videoStarts() {
    std::vector<double> starts;
    onQueue([&] {
      for (const auto& entry : data_->timelineEntries(kQNVVideoTrack)) starts.push_back(entry->range().start.seconds());
    });
    return starts;
  }
  // The live playlist loaded; short of its prefetch target, it refreshes.
  void startLive(const std::string& manifest, QNVDashPlaylistLoaderSettings settings = liveSettings()) {
    serve(manifest);
    makeLoader("/live.mpd", settings);
    forceUpdate();
    ASSERT_EQ(delegate_->updates.load(), 1) << failureText();
  }
};

TEST_F(QNVDashPlaylistLoaderTest, WarnsAboutTheUrlAndTheSettingsButStillWorks) {
  serve(liveManifest(0, 3), "/live.xml");
  auto settings = liveSettings();
  settings.unfetchedSegmentCap = 2;
  settings.unfetchedSegmentsAfterCap = 5;
  makeLoader("/live.xml", settings);
  EXPECT_TRUE(log_.contains("MPD url does not end in .mpd: " + server_.url("/live.xml")));
  EXPECT_TRUE(log_.contains("Expected the cap number to not be lower than number after capping."));
  forceUpdate();
  EXPECT_EQ(delegate_->updates.load(), 1);
  EXPECT_EQ(held(kQNVVideoTrack), 3U);

  QNVDashPlaylistData other;
  QNVDashPlaylistLoader::initWithMpdUrl(platform::URL::parse(server_.url("/x.mpd2")), "",
                                        std::make_shared<QNVDashPlaylistData>(), resourceLoader_, selector_, settings);
  EXPECT_FALSE(log_.contains("does not end in .mpd: " + server_.url("/x.mpd2")));
  QNVDashPlaylistLoader::initWithMpdUrl(std::nullopt, "", std::make_shared<QNVDashPlaylistData>(), resourceLoader_,
                                        selector_, settings);
  EXPECT_TRUE(log_.contains("Expected one of mpdUrl,mpdData but got neither"));
}

TEST_F(QNVDashPlaylistLoaderTest, PushParametersOfFirstAndLaterFetches) {
  const struct {
    const char* path;
    const char* firstQuery;
  } cases[] = {{"/live.mpd", "_nc_p_n=3&_nc_p_o=5"}, {"/live.mpd?tok=1", "tok=1&_nc_p_n=3&_nc_p_o=5"}};
  for (const auto& c : cases) {
    server_.clearRequests();
    serve(liveManifest(10, 4), "/live.mpd");
    auto settings = liveSettings();
    settings.pushInitialSegmentCount = 3;
    settings.pushContinuousSegmentCount = 2;
    settings.segmentsFromEndToStartUpdate = 5;
    data_ = std::make_shared<QNVDashPlaylistData>();
    makeLoader(c.path, settings);
    forceUpdate();
    fetchOnce([this] { loader_->forcePlaylistUpdate(); });
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].query, c.firstQuery);
    // The start of the last held video segment (16 s in ms) names where the
    // server should continue.
    EXPECT_NE(requests[1].query.find("_nc_p_n=2&_nc_p_ts=16000&_nc_p_o=5"), std::string::npos) << requests[1].query;
    EXPECT_EQ(requests[1].query.find("_nc_p_rid"), std::string::npos);
  }
}

TEST_F(QNVDashPlaylistLoaderTest, AbrUrlsNameTheRepresentationsPercentEncoded) {
  // The id makes no initialization URL (a blank in a URL), which the engine
  // points out on every read of the manifest.
  testing::QNVExpectedSoftAssertions expected;
  const std::string timeline = timelineOf(0, 2000, 2);
  serve(mpdDocument(adaptationSet(segmentTemplateRepresentation("v 1&amp;x=2", "video/mp4", 1, timeline)) +
                        adaptationSet(segmentTemplateRepresentation("a1", "audio/mp4", 1, timeline)),
                    "type=\"dynamic\""),
        "/dash-abr/live.mpd");
  auto settings = liveSettings();
  settings.pushContinuousSegmentCount = 1;
  makeLoader("/dash-abr/live.mpd", settings);
  forceUpdate();
  // The first fetch has an empty timeline: no parameters at all.
  EXPECT_EQ(server_.requests()[0].query, "");
  forceUpdate();
  const std::string query = server_.requests()[1].query;
  EXPECT_NE(query.find("&_nc_p_rid=v+1%26x%3D2&_nc_p_arid=a1"), std::string::npos) << query;
  EXPECT_EQ(expected.reasons(), std::vector<std::string>(2, "addSegmentedInitUrl called with nil url"));
}

TEST_F(QNVDashPlaylistLoaderTest, LiveRefreshMergesNewEntriesOnTheManualClock) {
  startLive(liveManifest(0, 5));
  EXPECT_EQ(requestCount(), 1U);
  EXPECT_EQ(videoStarts(), (std::vector<double>{0, 2, 4, 6, 8}));

  serve(liveManifest(4, 5));
  tick();
  EXPECT_EQ(requestCount(), 2U);
  EXPECT_EQ(videoStarts(), (std::vector<double>{0, 2, 4, 6, 8, 10, 12}));
  EXPECT_EQ(held(kQNVAudioTrack), 7U);
  EXPECT_EQ(loader_->consecutiveStaleUpdates(), 0);
  EXPECT_EQ(delegate_->updates.load(), 2);

  // Entries the manifest no longer lists stay; nothing is added twice.
  serve(liveManifest(10, 3));
  tick();
  EXPECT_EQ(videoStarts().size(), 8U);
  EXPECT_TRUE(delegate_->failures().empty());
}

TEST_F(QNVDashPlaylistLoaderTest, TwoTicksWithAFetchOutstandingIssueOneFetch) {
  startLive(liveManifest(0, 5));
  server_.on("/live.mpd", testserver::Response::text(200, liveManifest(0, 6), std::chrono::seconds(30)));
  const size_t before = requestCount();
  clock_->advance(1.0);
  ASSERT_TRUE(server_.waitForRequests(before + 1, testing::kRemoteWait));
  clock_->advance(1.0);
  clock_->advance(1.0);
  onQueue([] {});
  EXPECT_EQ(requestCount(), before + 1);
  EXPECT_TRUE(outstanding());
  EXPECT_TRUE(log_.contains("Not updating playlist due to outstanding request"));
  server_.stop();
}

TEST_F(QNVDashPlaylistLoaderTest, StaleRefreshesMakeTheStreamDry) {
  auto settings = liveSettings();
  settings.staleMpdUpdatesThreshold = 2;
  startLive(liveManifest(0, 5), settings);
  EXPECT_FALSE(loader_->isStreamDry());
  tick();
  EXPECT_EQ(loader_->consecutiveStaleUpdates(), 1);
  EXPECT_FALSE(loader_->isStreamDry());
  tick();
  EXPECT_TRUE(loader_->isStreamDry());
  EXPECT_TRUE(log_.contains("Got 2 consecutive stale MPDs"));
  serve(liveManifest(2, 5));
  tick();
  EXPECT_EQ(loader_->consecutiveStaleUpdates(), 0);
  EXPECT_FALSE(loader_->isStreamDry());
}

TEST_F(QNVDashPlaylistLoaderTest, TimestampDropAndResetAreReported) {
  startLive(liveManifest(0, 5));
  serve(liveManifest(0, 3));
  tick();
  const auto warnings = delegate_->warnings();
  ASSERT_EQ(warnings.size(), 1U);
  EXPECT_EQ(warnings[0].domain(), kQNVDashPlaylistLoaderDomain);
  EXPECT_EQ(warnings[0].code(), kQNVDashWarningTimestampDrop);
  EXPECT_EQ(warnings[0].userInfo().find(kQNVDashDeltaKey)->asDouble(), 4.0);
  tick();
  tick();
  EXPECT_EQ(delegate_->warningCodes().back(), kQNVDashWarningTimestampReset);
  // The reset names the held video time (8 s), not another track's.
  EXPECT_TRUE(log_.contains("timestamp reset! currentLatestTime:8.000000 newTime:4.000000"));
}

TEST_F(QNVDashPlaylistLoaderTest, CappingKeepsTheFetchedAndTheNewestEntries) {
  auto settings = liveSettings();
  settings.unfetchedSegmentCap = 10;
  settings.unfetchedSegmentsAfterCap = 3;
  startLive(liveManifest(0, 8), settings);
  onQueue([this] {
    data_->videoFetchIndex = 5;
    data_->audioFetchIndex = 4;
  });
  serve(liveManifest(0, 20));
  tick();
  // 20 held, 5 fetched, 15 unfetched > 10: entries 5..16 dropped.
  EXPECT_EQ(held(kQNVVideoTrack), 8U);
  EXPECT_EQ(held(kQNVAudioTrack), 8U);
  EXPECT_EQ(loader_->unfetchedSegmentCapHitCount(), 1U);
  EXPECT_TRUE(log_.contains("segment capping dropped 12 segments"));
  const auto starts = videoStarts();
  EXPECT_EQ(starts[4], 8.0);
  EXPECT_EQ(starts[5], 34.0);
}

TEST_F(QNVDashPlaylistLoaderTest, CappingSkipsUnbalancedTimelines) {
  auto settings = liveSettings();
  settings.unfetchedSegmentCap = 10;
  settings.unfetchedSegmentsAfterCap = 3;
  startLive(liveManifest(0, 4), settings);
  onQueue([this] { data_->videoFetchIndex = 5; });
  const std::string timeline = timelineOf(0, 2000, 20);
  serve(mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timeline)) +
                        adaptationSet(segmentTemplateRepresentation("a1", "audio/mp4", 1, timelineOf(0, 2000, 16))),
                    "type=\"dynamic\""));
  tick();
  EXPECT_EQ(held(kQNVVideoTrack), 20U);
  EXPECT_EQ(held(kQNVAudioTrack), 16U);
  EXPECT_TRUE(log_.contains("Expected audio and video urls to have the same count."));
  EXPECT_TRUE(log_.contains("Timeline entries out of alignment for A/V"));
  EXPECT_EQ(loader_->unfetchedSegmentCapHitCount(), 0U);
  EXPECT_EQ(delegate_->warningCodes(), (std::vector<int64_t>{kQNVDashWarningTimelineCountMismatch}));
}

TEST_F(QNVDashPlaylistLoaderTest, EveryRepresentationSharesTheHeldEntries) {
  serve(liveManifest(0, 2, {"v1"}, false));
  makeLoader("/live.mpd", liveSettings());
  loader_->forTestingEnableLiveMidstreamSwitch();
  forceUpdate();
  const std::string misaligned = segmentTemplateRepresentation("v3", "video/mp4", 1, "<S t=\"1000\" d=\"2000\"/>");
  serve(mpdDocument(
      adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timelineOf(2000, 2000, 3)) +
                    segmentTemplateRepresentation("v2", "video/mp4", 1, timelineOf(2000, 2000, 3)) + misaligned),
      "type=\"dynamic\""));
  forceUpdate();
  EXPECT_EQ(videoStarts(), (std::vector<double>{0, 2, 4, 6}));
  onQueue([this] {
    const auto& video = data_->timelineEntries(kQNVVideoTrack);
    EXPECT_EQ(video[0]->availableRepresentations(), (std::vector<std::string>{"v1"}));
    EXPECT_EQ(video[1]->availableRepresentations(), (std::vector<std::string>{"v1", "v2"}));
    EXPECT_EQ(video[3]->getUrlForRepresentation("v2")->absoluteString(), server_.url("/seg-6000.m4s"));
  });
  EXPECT_EQ(log_.count("Timelines may be misaligned: 0"), 2U);
}

TEST_F(QNVDashPlaylistLoaderTest, ADuplicateEntryInOneManifestIsAddedOnce) {
  const std::string timeline = timelineOf(0, 2000, 2) + "<S t=\"2000\" d=\"2000\"/>" + timelineOf(4000, 2000, 1);
  serve(mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timeline)), "type=\"dynamic\""));
  makeLoader("/live.mpd", liveSettings());
  forceUpdate();
  EXPECT_EQ(videoStarts(), (std::vector<double>{0, 2, 4}));
}

TEST_F(QNVDashPlaylistLoaderTest, ATimelineWithoutTimescaleIsNotAppendedOnEveryRefresh) {
  serve(mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timelineOf(0, 2000, 3), "",
                                                                "seg-$Time$.m4s", 0)),
                    "type=\"dynamic\""));
  makeLoader("/live.mpd", liveSettings());
  forceUpdate();
  forceUpdate();
  EXPECT_EQ(held(kQNVVideoTrack), 0U);
  EXPECT_EQ(log_.count("Timeline without a usable timescale for track 0"), 2U);
}

TEST_F(QNVDashPlaylistLoaderTest, ExpiredManifestsAreRefetchedThenFail) {
  auto settings = liveSettings();
  settings.minutesToPadAvailEndTime = 2;
  const std::string expired =
      liveManifest(0, 3, {"v1"}, true,
                   "type=\"dynamic\" availabilityEndTime=\"" +
                       *platform::formatUTC(clock_->wallTime() - 180, "%Y-%m-%dT%H:%M:%SZ") + "\"");
  const std::string fresh = liveManifest(0, 3);
  serve(expired);
  server_.enqueue("/live.mpd", testserver::Response::text(200, expired));
  server_.enqueue("/live.mpd", testserver::Response::text(200, fresh));
  makeLoader("/live.mpd", settings);
  // Expired, refetched: fresh, which resets the count.
  forceUpdate();
  EXPECT_EQ(requestCount(), 2U);
  EXPECT_EQ(delegate_->updates.load(), 1);
  // Three expired in a row fail; the first two are fetched again at once.
  forceUpdate();
  EXPECT_EQ(requestCount(), 5U);
  const auto failures = delegate_->failures();
  ASSERT_EQ(failures.size(), 1U);
  EXPECT_EQ(failures[0].domain(), kQNVAssetLoadingError);
  EXPECT_EQ(failures[0].code(), kQNVAssetLoadingErrorManifestExpired);
  EXPECT_EQ(log_.count("mpd is expired"), 4U);
}

TEST_F(QNVDashPlaylistLoaderTest, ServerFailuresBeforeAndAfterTheFirstManifest) {
  const struct {
    const char* name;
    testserver::Response response;
    const char* domain;
  } cases[] = {
      {"404", testserver::Response::text(404, "missing"), nullptr},
      {"500", testserver::Response::text(500, "oops"), nullptr},
      {"garbage", testserver::Response::text(200, "\x01\x02 not xml"), kQNVXmlParserErrorDomain},
      {"dropped", testserver::Response::dropped(), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_ = std::make_shared<testing::RecordingPlaylistDelegate>();
    data_ = std::make_shared<QNVDashPlaylistData>();
    server_.on("/live.mpd", c.response);
    makeLoader("/live.mpd", liveSettings());
    forceUpdate();
    const auto failures = delegate_->failures();
    ASSERT_EQ(failures.size(), 1U);
    if (c.domain != nullptr) {
      EXPECT_EQ(failures[0].domain(), c.domain);
    }
    EXPECT_EQ(delegate_->updates.load(), 0);
  }
  // Once parsed, a failed refresh only waits for the next one.
  delegate_ = std::make_shared<testing::RecordingPlaylistDelegate>();
  data_ = std::make_shared<QNVDashPlaylistData>();
  startLive(liveManifest(0, 3));
  server_.on("/live.mpd", testserver::Response::text(500, "oops"));
  tick();
  EXPECT_TRUE(delegate_->failures().empty());
  EXPECT_TRUE(log_.contains("Playlist fetch failed with error:"));
  serve(liveManifest(2, 3));
  tick();
  EXPECT_EQ(held(kQNVVideoTrack), 4U);
}

TEST_F(QNVDashPlaylistLoaderTest, ManifestLevelFailures) {
  const std::string timeline = timelineOf(0, 2000, 2);
  const struct {
    const char* name;
    std::string manifest;
    const char* domain;
    int64_t code;
  } cases[] = {
      {"no video", mpdDocument(adaptationSet(segmentTemplateRepresentation("a1", "audio/mp4", 1, timeline))),
       kQNVAssetLoadingError, kQNVAssetLoadingErrorNoVideoTrack},
      // The reader refuses a manifest from which it reads no representation.
      {"no addressing", mpdDocument(adaptationSet("<Representation id=\"v\" mimeType=\"video/mp4\"/>")),
       kQNVMpdErrorDomain, kQNVMpdErrorNoPlayableRepresentation},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate_ = std::make_shared<testing::RecordingPlaylistDelegate>();
    data_ = std::make_shared<QNVDashPlaylistData>();
    serve(c.manifest);
    makeLoader("/live.mpd", liveSettings());
    forceUpdate();
    const auto failures = delegate_->failures();
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_EQ(failures[0].domain(), c.domain) << failureText();
    EXPECT_EQ(failures[0].code(), c.code);
  }
}

TEST_F(QNVDashPlaylistLoaderTest, WarningsOfTrackLists) {
  const std::string timeline = timelineOf(0, 2000, 3);
  serve(mpdDocument(adaptationSet(segmentTemplateRepresentation("v1", "video/mp4", 1, timeline) +
                                  segmentTemplateRepresentation("v2", "video/mp4", 2, timeline)) +
                        adaptationSet(segmentTemplateRepresentation("a1", "audio/mp4", 1, timelineOf(0, 2000, 2)) +
                                      segmentTemplateRepresentation("a2", "audio/mp4", 1, timeline)),
                    "type=\"dynamic\""));
  makeLoader("/live.mpd", liveSettings());
  forceUpdate();
  ASSERT_EQ(delegate_->updates.load(), 1) << failureText();
  EXPECT_EQ(delegate_->warningCodes(),
            (std::vector<int64_t>{kQNVDashWarningMultipleAudioTracks, kQNVDashWarningTimelineCountMismatch}));
  EXPECT_TRUE(log_.contains("Multiple audio tracks returned, count:2, reps:a1,a2 bw:1,1"));
  // Highest bandwidth, then kept across refreshes.
  EXPECT_EQ(data_->representationId, "v2");
  forceUpdate();
  EXPECT_EQ(delegate_->warningCodes()[2], kQNVDashWarningMultipleAudioTracks);
  EXPECT_EQ(delegate_->warningCodes()[3], kQNVDashWarningLiveVideoTrackChoice);
  EXPECT_EQ(data_->representationId, "v2");
}

TEST_F(QNVDashPlaylistLoaderTest, InlinedManifestFillsTheDataWithoutTellingTheDelegate) {
  const std::string vod = mpdDocument(
      adaptationSet(segmentBaseRepresentation("480", "video/mp4", 854, 480, 900000, "http://h.test/480.mp4") +
                    segmentBaseRepresentation("720", "video/mp4", 1280, 720, 2000000, "http://h.test/720.mp4") +
                    segmentBaseRepresentation("360", "video/mp4", 640, 360, 500000, "http://h.test/360.mp4")) +
          adaptationSet(segmentBaseRepresentation("a", "audio/mp4", 0, 0, 64000, "http://h.test/a.mp4")),
      "mediaPresentationDuration=\"PT12S\"");
  for (const bool switching : {false, true}) {
    SCOPED_TRACE(switching);
    data_ = std::make_shared<QNVDashPlaylistData>();
    makeLoader("", QNVDashPlaylistLoaderSettings{}, vod);
    if (switching) loader_->forTestingEnableVodMidstreamSwitch();
    // As the asset does: a task on the media-state queue, off the main thread.
    onQueueThread([this] { loader_->handleInlinedManifest(); });
    EXPECT_TRUE(data_->isParsed);
    EXPECT_TRUE(data_->isFragmented());
    EXPECT_EQ(data_->playlistDuration.seconds(), 12.0);
    EXPECT_EQ(data_->availableQualities, "480p,720p,360p");
    EXPECT_EQ(data_->properties().size(), switching ? 3U : 1U);
    EXPECT_EQ(data_->representationId, switching ? "" : "720");
    {
      testing::QNVExpectedSoftAssertions expected;
      EXPECT_EQ(data_->fragmentedInitializationLengthForRepresentation("360", kQNVVideoTrack), switching ? 1000U : 0U);
      // Without switching only the chosen representation's length is kept.
      EXPECT_EQ(expected.sawReason("no number for representation:360 have:720"), !switching);
    }
    EXPECT_EQ(data_->fragmentedUrlForRepresentation("", kQNVAudioTrack)->absoluteString(), "http://h.test/a.mp4");
    EXPECT_TRUE(data_->containsAudioTrack);
    EXPECT_EQ(delegate_->updates.load(), 0);
    // Used once; a second call does nothing.
    onQueueThread([this] { loader_->handleInlinedManifest(); });
  }
}

TEST_F(QNVDashPlaylistLoaderTest, ARefreshOfAnOnDemandPlaylistIsIgnored) {
  makeLoader("/vod.mpd", liveSettings());
  server_.on("/vod.mpd", testserver::Response::text(
                             200, mpdDocument(adaptationSet(
                                      segmentBaseRepresentation("v1", "video/mp4", 640, 360, 1, "v1.mp4")))));
  forceUpdate();
  EXPECT_EQ(delegate_->updates.load(), 1);
  EXPECT_TRUE(data_->isFragmented());
  forceUpdate();
  EXPECT_EQ(delegate_->updates.load(), 1);
  EXPECT_TRUE(log_.contains("Ignoring request to refresh non-live MPD data"));
  // Static: no refresh timer.
  const size_t before = requestCount();
  clock_->advance(3.0);
  onQueue([] {});
  EXPECT_EQ(requestCount(), before);
}

TEST_F(QNVDashPlaylistLoaderTest, PauseTargetsAndResume) {
  auto settings = liveSettings();
  settings.segmentsFromEndToStartPrefetch = 3;
  startLive(liveManifest(0, 12), settings);
  fetchOnce([this] { loader_->resume(); });
  serve(liveManifest(0, 16));
  tick();
  EXPECT_EQ(held(kQNVVideoTrack), 7U);
  const struct {
    uint32_t unplayed;
    int32_t target;
  } cases[] = {{500, 11}, {5000, 2}, {UINT32_MAX, 2}};
  for (const auto& c : cases) {
    onQueue([&] {
      data_->videoFetchIndex = 10;
      data_->audioFetchIndex = 10;
      loader_->pauseWithUnplayedData(c.unplayed);
      EXPECT_EQ(data_->indexToForceFetchTo, c.target) << c.unplayed;
      EXPECT_FALSE(data_->shouldUpdateContinuously);
    });
  }
  // Resuming a paused live playlist trims to the fetch position and fetches
  // at once; resuming a continuous one fetches nothing.
  onQueue([this] {
    data_->videoFetchIndex = 4;
    data_->audioFetchIndex = 2;
  });
  const size_t before = requestCount();
  fetchOnce([this] { loader_->resume(); });
  EXPECT_EQ(requestCount(), before + 1);
  EXPECT_TRUE(log_.contains("Live playback resumed. segmentsRemoved:3 v:4/4 a:2/4"));
  EXPECT_EQ(data_->indexToForceFetchTo, -1);
  onQueue([this] { loader_->resume(); });
  EXPECT_EQ(requestCount(), before + 1);
}

// A static template presentation is whole in its one manifest: neither the
// cap nor a resume drops the segments not yet fetched.
TEST_F(QNVDashPlaylistLoaderTest, StaticTemplateKeepsUnfetchedEntries) {
  auto settings = liveSettings();
  settings.segmentsFromEndToStartPrefetch = 2;
  settings.unfetchedSegmentCap = 2;
  serve(liveManifest(0, 8, {"v1"}, true, ""), "/vod.mpd");
  makeLoader("/vod.mpd", settings);
  forceUpdate();
  ASSERT_EQ(delegate_->updates.load(), 1) << failureText();
  onQueue([this] {
    data_->videoFetchIndex = 2;
    data_->audioFetchIndex = 2;
    loader_->pauseWithUnplayedData(0);
    loader_->resume();
  });
  EXPECT_EQ(held(kQNVVideoTrack), 8U);
  EXPECT_EQ(held(kQNVAudioTrack), 8U);
  EXPECT_EQ(loader_->unfetchedSegmentCapHitCount(), 0U);
}

TEST_F(QNVDashPlaylistLoaderTest, PrefetchStopsRefreshingAtTheTarget) {
  serve(liveManifest(0, 5));
  auto settings = liveSettings();
  settings.segmentsFromEndToStartPrefetch = 3;
  makeLoader("/live.mpd", settings);
  forceUpdate();
  EXPECT_TRUE(log_.contains("updated playlist to target index, not refreshing playlist until resumed"));
  const size_t before = requestCount();
  clock_->advance(3.0);
  onQueue([] {});
  EXPECT_EQ(requestCount(), before);
}

TEST_F(QNVDashPlaylistLoaderTest, LiveEndAndPlaybackFailureStopTheTimer) {
  startLive(liveManifest(0, 5));
  delegate_->playbackFailed = true;
  const size_t before = requestCount();
  clock_->advance(1.0);
  onQueue([] {});
  // The tick sees the failure and cancels the timer: no fetch, no more ticks.
  clock_->advance(3.0);
  onQueue([] {});
  EXPECT_EQ(requestCount(), before);

  delegate_ = std::make_shared<testing::RecordingPlaylistDelegate>();
  data_ = std::make_shared<QNVDashPlaylistData>();
  startLive(liveManifest(0, 5));
  serve(liveManifest(0, 6, {"v1"}, true, "type=\"static\""));
  tick();
  EXPECT_TRUE(log_.contains("live video has ended, not refreshing playlist again"));
  const size_t after = requestCount();
  clock_->advance(3.0);
  onQueue([] {});
  EXPECT_EQ(requestCount(), after);
}

TEST_F(QNVDashPlaylistLoaderTest, ServerLiveRouteAdvancesWithTheClock) {
  testserver::DashLiveManifestOptions options;
  options.availabilityStartTime = clock_->wallTime() - 20;
  options.videoRepresentations = {{"low", 300000}, {"high", 900000}};
  auto clock = clock_;
  server_.on("/live.mpd", testserver::serveDashLiveManifest(options, [clock] { return clock->wallTime(); }));
  makeLoader("/live.mpd", liveSettings());
  forceUpdate();
  EXPECT_EQ(held(kQNVVideoTrack), 5U);
  EXPECT_EQ(data_->representationId, "high");
  // Epoch-based times: far beyond 32 bits of milliseconds.
  EXPECT_DOUBLE_EQ(videoStarts().back(), options.availabilityStartTime + 18);
  for (int i = 0; i < 4; ++i) tick();
  EXPECT_EQ(held(kQNVVideoTrack), 7U);
  EXPECT_EQ(loader_->publishFrameTimeMS(), std::floor(clock_->wallTime() * 1000));
  onQueue([this] {
    const auto& last = data_->timelineEntries(kQNVVideoTrack).back();
    EXPECT_EQ(last->getUrlForRepresentation("high")->absoluteString(),
              server_.url("/high/" + std::to_string(static_cast<uint64_t>(last->range().start.value)) + ".m4s"));
  });
}

}  // namespace
}  // namespace plexora

// The DASH data loader against the loopback server serving ffmpeg's DASH
// presentations: "template" (SegmentTemplate with $Time$: init and segment
// files) and "base" (SegmentBase: one fragmented file per representation).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Base64.h"
#include "platform/net/URLError.h"
#include "util/qnv/dash/DashDataLoaderFixture.h"

namespace plexora {
namespace {

using testing::onQueue;
using testing::waitUntil;

constexpr uint64_t kRep0Size = 31620;  // base/rep-0.mp4
// base/rep-0.mp4's nominal rate (300000 bit/s) in bytes per second.
constexpr double kRep0BytesPerSecond = 37500.0;

// Answers a held request by hand: the resource's size (0: none told), the
// body, then the end.
void answer(QNVAssetResourceLoadingRequest& request, const std::string& body, size_t contentLength) {
  if (contentLength > 0) request.contentInformationRequest()->setContentLength(static_cast<int64_t>(contentLength));
  if (!body.empty()) {
    request.dataRequest()->respondWithData(platform::ByteView(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
  }
  request.finishLoading();
}

class QNVDashDataLoaderTest : public testing::DashDataLoaderFixture {
 protected:
  int32_t fetchIndex(QNVTrackIndex track) {
    int32_t index = 0;
    onQueue([&] { index = data_->fetchIndexForTrack(track); });
    return index;
  }
  bool inFlight(QNVTrackIndex track) {
    bool busy = false;
    onQueue([&] { busy = trackers_[track]->fetchInProgress(); });
    return busy;
  }
  // Waits until the fetcher has seen `count` requests in all.
  void expectRequests(size_t count) {
    ASSERT_TRUE(waitUntil([&] { return recorder_->count() >= count; }));
    onQueue([] {});
    EXPECT_EQ(recorder_->count(), count);
  }
};

TEST_F(QNVDashDataLoaderTest, TemplateFetchesTheInitSegmentThenEachSegmentInOrder) {
  loadPresentation("template");
  playAsLive();
  auto loader = makeDataLoader(kQNVVideoTrack, "0");

  // A second call while the init segment is on its way asks for nothing.
  runAndWait([&] {
    loader->fetchFromOffset(0, 0);
    loader->fetchFromOffset(0, 0);
  }, 1);
  expectRequests(2);
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 0);
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 2);
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 3);
  onQueue([&] { loader->fetchFromOffset(0, 0); });
  expectRequests(4);
  EXPECT_TRUE(log_.contains("requested all segments"));

  auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 4U);
  // The init segment and the prefetch go out together, in either order.
  if (seen[0].url != mediaUrl("template", "init-0.m4s")) std::swap(seen[0], seen[1]);
  struct Expected {
    std::string file;
    bool firstRequest;
    bool bypassCache;
  };
  // The prefetched first segment may come from the fetcher's cache; the
  // next one of a live stream may not.
  const std::vector<Expected> expected = {{"init-0.m4s", false, true},
                                          {"seg-0-0.m4s", false, false},
                                          {"seg-0-0.m4s", true, false},
                                          {"seg-0-15360.m4s", false, true}};
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].url, mediaUrl("template", expected[i].file));
    EXPECT_EQ(seen[i].offset, 0);
    EXPECT_EQ(seen[i].length, 0);
    EXPECT_EQ(seen[i].firstRequest, expected[i].firstRequest);
    EXPECT_EQ(seen[i].bypassCache, expected[i].bypassCache);
    EXPECT_FALSE(seen[i].isAudio);
    EXPECT_FALSE(seen[i].isForDiskCache);
  }

  const std::string whole =
      mediaFile("template", "init-0.m4s") + mediaFile("template", "seg-0-0.m4s") + mediaFile("template", "seg-0-15360.m4s");
  EXPECT_EQ(distributed(kQNVVideoTrack, 0, whole.size()), whole);
  const auto completions = dataDelegate_->completions();
  ASSERT_EQ(completions.size(), 3U);
  for (const auto& report : completions) {
    EXPECT_EQ(report.track, kQNVVideoTrack);
    EXPECT_EQ(report.representationId, "0");
    EXPECT_TRUE(report.allRequestedBytesReceived);
    EXPECT_FALSE(report.forDiskCache);
  }
  EXPECT_TRUE(dataDelegate_->failures().empty());
  onQueue([&] {
    EXPECT_EQ(data_->fetchIndexForTrack(kQNVVideoTrack), 2);
    EXPECT_EQ(loader->segmentedCurrentRequestOffset(), 1);
    EXPECT_EQ(loader->unfetchedSegmentCount(), 0U);
    EXPECT_EQ(loader->inMemoryCacheBytesReceived(), whole.size());
  });
}

TEST_F(QNVDashDataLoaderTest, AudioLoaderFetchesTheAudioInitSegmentAsAudio) {
  loadPresentation("template");
  playAsLive();
  auto loader = makeDataLoader(kQNVAudioTrack, std::nullopt);
  onQueue([&] { loader->_forTestingBypassPrefetch(); });
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 2);
  const auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_EQ(seen[0].url, mediaUrl("template", "init-2.m4s"));
  EXPECT_EQ(seen[1].url, mediaUrl("template", "seg-2-0.m4s"));
  EXPECT_TRUE(seen[1].isAudio);
  EXPECT_TRUE(seen[1].firstRequest);
  // Without the prefetch no segment is in the fetcher's cache.
  EXPECT_TRUE(seen[1].bypassCache);
  EXPECT_EQ(fetchIndex(kQNVAudioTrack), 1);
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 0);
}

TEST_F(QNVDashDataLoaderTest, InlineInitSegmentIsDeliveredWithoutARequest) {
  loadPresentation("template");
  const std::string init = mediaFile("template", "init-0.m4s");
  std::string encoded = platform::base64Encode(platform::ByteView(reinterpret_cast<const uint8_t*>(init.data()), init.size()));
  // Manifests wrap long base64 text.
  for (size_t at = 60; at < encoded.size(); at += 61) encoded.insert(at, "\n");
  onQueue([&] { data_->addEncodedInitData(encoded, "0", kQNVVideoTrack); });
  auto loader = makeDataLoader(kQNVVideoTrack, "0");

  onQueue([&] { loader->fetchFromOffset(0, 0); });
  ASSERT_EQ(dataDelegate_->completions().size(), 1U) << "delivered in the same call";
  EXPECT_TRUE(dataDelegate_->completions()[0].allRequestedBytesReceived);
  EXPECT_EQ(distributed(kQNVVideoTrack, 0, init.size()), init);
  EXPECT_FALSE(inFlight(kQNVVideoTrack));
  onQueue([&] { EXPECT_EQ(trackers_[kQNVVideoTrack]->bytesReceived, init.size()); });

  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 2);
  const auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 1U);
  EXPECT_EQ(seen[0].url, mediaUrl("template", "seg-0-0.m4s"));
  const std::string segment = mediaFile("template", "seg-0-0.m4s");
  EXPECT_EQ(distributed(kQNVVideoTrack, init.size(), segment.size()), segment);
}

TEST_F(QNVDashDataLoaderTest, InlineInitWithoutAWholeByteFailsWithoutARequest) {
  loadPresentation("template");
  onQueue([&] { data_->addEncodedInitData("!*!\n", "0", kQNVVideoTrack); });
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  onQueue([&] { loader->fetchFromOffset(0, 0); });
  const auto failures = dataDelegate_->failures();
  ASSERT_EQ(failures.size(), 1U);
  EXPECT_EQ(failures[0].domain(), "QNVAssetLoadingError");
  EXPECT_EQ(failures[0].code(), 560);
  EXPECT_TRUE(log_.contains("init segment must be valid"));
  onQueue([] {});
  EXPECT_EQ(recorder_->count(), 0U);
}

// A live track fetches freely for its first segments, then stays at most
// one segment ahead of the other track.
TEST_F(QNVDashDataLoaderTest, LiveTrackStaysWithinOneSegmentOfTheOther) {
  struct Case {
    QNVTrackIndex track;
    int32_t index;
    int32_t otherIndex;
    bool withAudio;
    bool fetches;
  };
  const Case cases[] = {
      {kQNVVideoTrack, 6, 6, true, true},  {kQNVVideoTrack, 7, 6, true, false}, {kQNVVideoTrack, 3, 0, true, true},
      {kQNVVideoTrack, 7, 0, false, true}, {kQNVAudioTrack, 7, 6, true, false}, {kQNVAudioTrack, 6, 7, true, true},
  };
  loadPresentation("template");
  playAsLive();
  recorder_->hold(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "track " << c.track << " index " << c.index << " other " << c.otherIndex
                                      << " audio " << c.withAudio);
    const QNVTrackIndex other = c.track == kQNVVideoTrack ? kQNVAudioTrack : kQNVVideoTrack;
    std::shared_ptr<QNVDashDataLoader> loader;
    onQueue([&] {
      trackers_[c.track] = std::make_shared<QNVDashDownloadTracker>();
      data_->containsAudioTrack = c.withAudio;
      for (QNVTrackIndex track : {kQNVVideoTrack, kQNVAudioTrack}) {
        auto& timeline = data_->timelineEntries(track);
        const std::string file = track == kQNVVideoTrack ? "seg-0-0.m4s" : "seg-2-0.m4s";
        timeline.clear();
        for (int i = 0; i < 10; ++i) {
          auto entry = std::make_shared<QNVDashTimelineEntry>(platform::MediaTimeRange());
          entry->addUrl(platform::URL::parse(mediaUrl("template", file)), track == kQNVVideoTrack ? "0" : "2");
          timeline.push_back(entry);
        }
        // The init segment comes from the manifest, so the decision alone
        // tells whether a segment is requested.
        data_->addEncodedInitData("AAAA", "0", track);
      }
      loader = makeDataLoader(c.track, c.track == kQNVVideoTrack ? std::optional<std::string>("0") : std::nullopt);
      (c.track == kQNVVideoTrack ? data_->videoFetchIndex : data_->audioFetchIndex) = c.index;
      (other == kQNVVideoTrack ? data_->videoFetchIndex : data_->audioFetchIndex) = c.otherIndex;
      loader->fetchFromOffset(0, 0);
      loader->fetchFromOffset(0, 0);
    });
    EXPECT_EQ(fetchIndex(c.track), c.fetches ? c.index + 1 : c.index);
    EXPECT_EQ(inFlight(c.track), c.fetches);
    onQueue([&] { loader->cancelRequests(); });
  }
}

TEST_F(QNVDashDataLoaderTest, SegmentListTargetsSegmentsAndSeeksForward) {
  loadPresentation("template");
  onQueue([&] { data_->videoType = kQNVDashVideoTypeSegmentList; });
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  onQueue([&] { loader->_forTestingBypassPrefetch(); });
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);

  onQueue([&] { loader->seekForwardToOffset(2); });
  EXPECT_TRUE(log_.contains("segmented seekForwardToOffset tried to exceed index bound 2/2"));
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 0);
  onQueue([&] { loader->seekForwardToOffset(1); });
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 1);

  // Target segment 0 lies behind the fetch index.
  onQueue([&] { loader->fetchFromOffset(0, 0); });
  EXPECT_FALSE(inFlight(kQNVVideoTrack));
  runAndWait([&] { loader->fetchFromOffset(0, 1); }, 2);

  const auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_EQ(seen[1].url, mediaUrl("template", "seg-0-15360.m4s"));
  EXPECT_FALSE(seen[1].firstRequest);
  EXPECT_FALSE(seen[1].bypassCache) << "on demand, the fetcher's cache may serve";
  const std::string whole = mediaFile("template", "init-0.m4s") + mediaFile("template", "seg-0-15360.m4s");
  EXPECT_EQ(distributed(kQNVVideoTrack, 0, whole.size()), whole);
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 2);
}

TEST_F(QNVDashDataLoaderTest, FragmentedRangesCountersAndPercentages) {
  loadPresentation("base");
  const std::string file = mediaFile("base", "rep-0.mp4");
  ASSERT_EQ(file.size(), kRep0Size);
  auto loader = makeDataLoader(kQNVVideoTrack, "0");

  onQueue([&] {
    EXPECT_EQ(loader->inMemoryFetchPercentage(), 0.0f);
    loader->diskCacheToOffset(0);  // the file size is not known yet
  });
  runAndWait([&] { loader->fetchFromOffset(0, kRep0Size / 2); }, 1);
  onQueue([&] {
    EXPECT_EQ(loader->fileSize(), kRep0Size);
    EXPECT_FLOAT_EQ(loader->inMemoryFetchPercentage(), 0.5f);
    EXPECT_FLOAT_EQ(loader->approxInMemoryFetchedSecondsBasedOnBitrate(), (kRep0Size / 2) / kRep0BytesPerSecond);
    EXPECT_FALSE(loader->fragmentedIsFullyDownloaded());
    loader->fetchToOffset(kRep0Size / 2);  // nothing left below the target
    loader->seekForwardToOffset(20000);
  });
  runAndWait([&] { loader->fetchToOffset(kRep0Size); }, 2);

  const auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_EQ(seen[0].url, mediaUrl("base", "rep-0.mp4"));
  EXPECT_EQ(seen[0].offset, 0);
  EXPECT_EQ(seen[0].length, static_cast<int64_t>(kRep0Size / 2));
  EXPECT_EQ(seen[1].offset, 20000);
  EXPECT_EQ(seen[1].length, static_cast<int64_t>(kRep0Size - 20000));
  EXPECT_EQ(distributed(kQNVVideoTrack, 0, kRep0Size / 2), file.substr(0, kRep0Size / 2));
  EXPECT_EQ(distributed(kQNVVideoTrack, 20000, kRep0Size - 20000), file.substr(20000));
  for (const auto& report : dataDelegate_->completions()) EXPECT_TRUE(report.allRequestedBytesReceived);
  onQueue([&] {
    EXPECT_EQ(loader->fragmentedFetchCount(), 2);
    EXPECT_EQ(loader->fragmentedNoOpFetchCount(), 1);
    EXPECT_TRUE(loader->fragmentedIsFullyDownloaded());
    EXPECT_EQ(loader->fetchedOffset(), kRep0Size);
  });
}

TEST_F(QNVDashDataLoaderTest, FragmentedRangePastTheFileEndCompletesShort) {
  loadPresentation("base");
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  runAndWait([&] { loader->fetchFromOffset(0, kRep0Size + 5000); }, 1);
  const auto completions = dataDelegate_->completions();
  ASSERT_EQ(completions.size(), 1U);
  EXPECT_FALSE(completions[0].allRequestedBytesReceived);
  onQueue([&] {
    EXPECT_EQ(trackers_[kQNVVideoTrack]->bytesRequested, kRep0Size) << "set back to what arrived";
    EXPECT_TRUE(loader->fragmentedIsFullyDownloaded());
  });
}

TEST_F(QNVDashDataLoaderTest, DiskCacheFillsPastPlaybackWithoutTheDistributor) {
  loadPresentation("base");
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  runAndWait([&] { loader->fetchFromOffset(0, 1000); }, 1);
  onQueue([&] {
    loader->diskCacheToOffset(0);
    EXPECT_TRUE(loader->diskCacheFetchInProgress());
  });
  ASSERT_TRUE(waitUntil([&] { return !dataDelegate_->completions().empty() && dataDelegate_->completions().back().forDiskCache; }));

  const auto seen = recorder_->seen();
  ASSERT_EQ(seen.size(), 2U);
  EXPECT_TRUE(seen[1].isForDiskCache);
  EXPECT_EQ(seen[1].offset, 1000);
  EXPECT_EQ(seen[1].length, static_cast<int64_t>(kRep0Size - 1000));
  EXPECT_TRUE(dataDelegate_->completions().back().allRequestedBytesReceived);
  EXPECT_EQ(distributed(kQNVVideoTrack, 1000, 1), "") << "disk-cache bytes never reach the distributor";
  onQueue([&] {
    EXPECT_FALSE(loader->diskCacheFetchInProgress());
    EXPECT_FLOAT_EQ(loader->diskCachePercentage(), 1.0f);
    EXPECT_FLOAT_EQ(loader->approxDiskCachedSecondsBasedOnBitrate(), kRep0Size / kRep0BytesPerSecond);
    EXPECT_EQ(loader->fetchedOffset(), kRep0Size);
    EXPECT_EQ(trackers_[kQNVVideoTrack]->bytesReceived, 1000U);
    EXPECT_EQ(loader->inMemoryCacheBytesReceived(), 1000U);
  });
}

TEST_F(QNVDashDataLoaderTest, FailedDiskCacheIsAWarningNotACompletion) {
  testserver::RangeFileOptions failsPastHeader;
  failsPastHeader.fault = testserver::RangeFault::kNotFound;
  failsPastHeader.faultFromOffset = 1000;
  loadPresentation("base", {{"rep-0.mp4", failsPastHeader}});
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  runAndWait([&] { loader->fetchFromOffset(0, 1000); }, 1);
  runAndWait([&] { loader->diskCacheToOffset(0); }, 2);

  EXPECT_EQ(dataDelegate_->warnings().size(), 1U);
  EXPECT_TRUE(dataDelegate_->failures().empty()) << "playback goes on without the disk cache";
  for (const auto& report : dataDelegate_->reports()) EXPECT_FALSE(report.forDiskCache);
  onQueue([&] {
    EXPECT_FALSE(loader->diskCacheFetchInProgress());
    EXPECT_EQ(loader->diskCachePercentage(), 0.0f);
  });
}

// What a host does wrong with one segment reaches the delegate as a
// failure, never as a completed segment.
TEST_F(QNVDashDataLoaderTest, SegmentMisbehavioursFailTheRequest) {
  const testserver::RangeFault faults[] = {testserver::RangeFault::kNotFound, testserver::RangeFault::kServerError,
                                           testserver::RangeFault::kDropMidBody,
                                           testserver::RangeFault::kWrongLength};
  for (const auto fault : faults) {
    SCOPED_TRACE(static_cast<int>(fault));
    resetPresentation();
    testserver::RangeFileOptions options;
    options.fault = fault;
    loadPresentation("template", {{"seg-0-0.m4s", options}});
    auto loader = makeDataLoader(kQNVVideoTrack, "0");
    onQueue([&] { loader->_forTestingBypassPrefetch(); });
    runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);
    runAndWait([&] { loader->fetchFromOffset(0, 0); }, 2);

    EXPECT_EQ(dataDelegate_->failures().size(), 1U);
    EXPECT_EQ(dataDelegate_->completions().size(), 1U) << "only the init segment completed";
    EXPECT_FALSE(inFlight(kQNVVideoTrack));
  }
}

// Answers the fetcher never gives, but a broken host or another fetcher
// can: the loader must not take a cut or empty body for a whole segment.
TEST_F(QNVDashDataLoaderTest, SegmentBodyEndsAreJudgedByWhatArrived) {
  struct Case {
    const char* name;
    bool announceSize;
    size_t bytes;  // of the segment, from its start
    bool fails;
    bool whole;
  };
  const std::string init = mediaFile("template", "init-0.m4s");
  const std::string segment = mediaFile("template", "seg-0-0.m4s");
  const Case cases[] = {
      {"cut short", true, segment.size() / 2, true, false},
      {"empty without size", false, 0, false, false},
      {"empty with size", true, 0, true, false},
      {"whole without size", false, segment.size(), false, true},
      {"whole with size", true, segment.size(), false, true},
  };
  recorder_->hold(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = recorder_->count();
    resetPresentation();
    loadPresentation("template");
    auto loader = makeDataLoader(kQNVVideoTrack, "0");
    onQueue([&] {
      loader->_forTestingBypassPrefetch();
      loader->fetchFromOffset(0, 0);
    });
    ASSERT_TRUE(waitUntil([&] { return recorder_->count() == before + 1; }));
    answer(*recorder_->seen().back().request, init, init.size());
    ASSERT_TRUE(waitUntil([&] { return dataDelegate_->completions().size() == 1; }));
    onQueue([&] { loader->fetchFromOffset(0, 0); });
    ASSERT_TRUE(waitUntil([&] { return recorder_->count() == before + 2; }));
    answer(*recorder_->seen().back().request, segment.substr(0, c.bytes), c.announceSize ? segment.size() : 0);
    ASSERT_TRUE(waitUntil([&] { return dataDelegate_->failures().size() + dataDelegate_->completions().size() == 2; }));

    EXPECT_EQ(dataDelegate_->failures().size(), c.fails ? 1U : 0U);
    if (!c.fails) EXPECT_EQ(dataDelegate_->completions().back().allRequestedBytesReceived, c.whole);
    EXPECT_FALSE(inFlight(kQNVVideoTrack));
  }
}

TEST_F(QNVDashDataLoaderTest, AnswersOfACancelledRequestAreIgnored) {
  loadPresentation("base");
  const std::string file = mediaFile("base", "rep-0.mp4");
  recorder_->hold(true);
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  onQueue([&] { loader->fetchFromOffset(0, 1000); });
  ASSERT_TRUE(waitUntil([&] { return recorder_->count() == 1; }));
  onQueue([&] { loader->cancelRequests(); });
  ASSERT_TRUE(waitUntil([&] { return recorder_->cancelled().size() == 1; }));
  EXPECT_EQ(recorder_->cancelled()[0], recorder_->seen()[0].request);
  EXPECT_FALSE(inFlight(kQNVVideoTrack));

  onQueue([&] { loader->fetchFromOffset(0, 1000); });
  ASSERT_TRUE(waitUntil([&] { return recorder_->count() == 2; }));
  answer(*recorder_->seen()[0].request, std::string(1000, 'x'), kRep0Size);
  onQueue([] {});
  EXPECT_TRUE(waitUntil([&] { return log_.contains("race: ignoring finished data callback from stale request"); }));
  EXPECT_TRUE(log_.contains("race: ignoring data callback from stale request"));
  EXPECT_EQ(dataDelegate_->events(), 0U);

  answer(*recorder_->seen()[1].request, std::string(1000, 'y'), kRep0Size);
  ASSERT_TRUE(waitUntil([&] { return dataDelegate_->completions().size() == 1; }));
  EXPECT_EQ(distributed(kQNVVideoTrack, 0, 1000), std::string(1000, 'y'));
}

TEST_F(QNVDashDataLoaderTest, CancelStopsASegmentWhoseBodyNeverComes) {
  auto released = std::make_shared<std::atomic<std::size_t>>(0);
  testserver::RangeFileOptions stalled;
  stalled.releasedUpTo = released;
  loadPresentation("template", {{"seg-0-0.m4s", stalled}});
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  onQueue([&] { loader->_forTestingBypassPrefetch(); });
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);
  onQueue([&] { loader->fetchFromOffset(0, 0); });
  ASSERT_TRUE(waitUntil([&] { return fetcher_->pendingVideoRequestCount() == 1; }));

  onQueue([&] { loader->cancelRequests(); });
  EXPECT_TRUE(waitUntil([&] { return fetcher_->pendingVideoRequestCount() == 0; }));
  EXPECT_FALSE(inFlight(kQNVVideoTrack));
  released->store(SIZE_MAX);
  onQueue([] {});
  EXPECT_EQ(dataDelegate_->ends(), 1U) << "only the init segment was heard of";
  EXPECT_TRUE(dataDelegate_->failures().empty());
  onQueue([&] { EXPECT_EQ(trackers_[kQNVVideoTrack]->bytesReceived, mediaFile("template", "init-0.m4s").size()); });
}

TEST_F(QNVDashDataLoaderTest, SegmentWhoseBodyNeverEndsFailsOnceTheFetcherGivesUp) {
  OVAdResourceLoaderLimits limits;
  limits.downloadTimeout = 0.5;
  useFetcher(OVAdResourceLoader::create(session_, limits));
  auto released = std::make_shared<std::atomic<std::size_t>>(100);
  testserver::RangeFileOptions stalled;
  stalled.releasedUpTo = released;
  loadPresentation("template", {{"seg-0-0.m4s", stalled}});
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  onQueue([&] { loader->_forTestingBypassPrefetch(); });
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 2);
  released->store(SIZE_MAX);

  const auto failures = dataDelegate_->failures();
  ASSERT_EQ(failures.size(), 1U);
  EXPECT_EQ(failures[0].code(), platform::kURLErrorTimedOut);
  EXPECT_EQ(dataDelegate_->completions().size(), 1U);
  EXPECT_FALSE(inFlight(kQNVVideoTrack));
}

TEST_F(QNVDashDataLoaderTest, SegmentWithoutAUrlIsNeverRequested) {
  loadPresentation("template");
  onQueue([&] {
    // A manifest entry whose address could not be made.
    auto& timeline = data_->timelineEntries(kQNVVideoTrack);
    timeline[0] = std::make_shared<QNVDashTimelineEntry>(timeline[0]->range());
  });
  auto loader = makeDataLoader(kQNVVideoTrack, "0");
  runAndWait([&] { loader->fetchFromOffset(0, 0); }, 1);
  onQueue([&] {
    for (int i = 0; i < 3; ++i) loader->fetchFromOffset(0, 0);
  });
  expectRequests(1);
  EXPECT_EQ(recorder_->seen()[0].url, mediaUrl("template", "init-0.m4s"));
  EXPECT_EQ(log_.count("segmented url is nil"), 3U);
  EXPECT_EQ(fetchIndex(kQNVVideoTrack), 0);
  EXPECT_FALSE(inFlight(kQNVVideoTrack));
  EXPECT_TRUE(dataDelegate_->failures().empty());
}

}  // namespace
}  // namespace plexora

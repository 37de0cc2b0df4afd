// The remote MP4 asset against the loopback server, through the library's
// resource loader: the requests it makes, every frame's bytes as the engine
// reads them, headers first, last and behind other boxes, seeks that fetch
// from their offset, and each way a host can fail ending in the asset's
// error rather than a hang.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net/URLError.h"
#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/asset/RemoteMp4Fixture.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::onQueue;
using testing::PostedCount;
using testserver::RangeFault;

constexpr const char* kMoovFirst = "remote_moov_first.mp4";
constexpr const char* kMoovLast = "remote_moov_last.mp4";

// The box at `offset` of an MP4 file: its size.
uint32_t boxSize(const std::string& file, size_t offset) {
  uint32_t size = 0;
  for (size_t i = 0; i < 4; ++i) size = size << 8 | static_cast<uint8_t>(file[offset + i]);
  return size;
}

std::string box(const char* type, size_t payload) {
  const size_t size = payload + 8;
  std::string bytes = {static_cast<char>(size >> 24), static_cast<char>(size >> 16), static_cast<char>(size >> 8),
                       static_cast<char>(size)};
  return bytes + type + std::string(payload, '\0');
}

class QNVMp4AssetTest : public testing::RemoteMp4Fixture {};

TEST_F(QNVMp4AssetTest, FirstAsksForTheBoxHeadersThenForTheHeaderAndWhatFollows) {
  const auto file = testing::fileBytes(testing::testMediaPath(kMoovFirst));
  const uint32_t moovSize = boxSize(*file, 32);
  auto asset = remoteAsset(kMoovFirst);
  EXPECT_EQ(load(asset), 1);
  const std::vector<std::string> seen = ranges();
  ASSERT_GE(seen.size(), 2U);
  EXPECT_EQ(seen[0], "bytes=0-39");
  EXPECT_EQ(seen[1], "bytes=40-" + std::to_string(moovSize + 131072 - 1));

  onQueue([&] {
    std::optional<platform::Error> error;
    EXPECT_EQ(asset->statusOfValueForKey("duration", &error), kQNVKeyValueStatusLoaded);
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(asset->status(), kQNVAssetStatusReadyToPlay);
    EXPECT_NEAR(asset->duration().seconds(), 4.0, 0.1);
    EXPECT_TRUE(asset->containsTrack(kQNVAudioTrack));
    EXPECT_FALSE(asset->containsTrack(2));
    EXPECT_NE(asset->formatDesc(), nullptr);
    EXPECT_EQ(asset->asbd().formatID, platform::fourCharCode("aac "));
    EXPECT_EQ(asset->debugDetails(), "progressive");
    EXPECT_FALSE(asset->isFullyDownloaded()) << "playback can start before the download ends";
  });
  bool loadedAgain = false;
  asset->loadValuesAsynchronouslyForKeys({}, [&] { loadedAgain = true; });
  onQueue([] {});
  EXPECT_TRUE(loadedAgain) << "a loaded asset answers at once";
}

// Every frame's bytes, as the engine reads them while the file downloads,
// are the file's own samples: with the header first, last, and from a
// host that ignores ranges (which serves the whole file each time).
TEST_F(QNVMp4AssetTest, EveryFrameArrivesWhateverWhereTheHeaderIsOrHowTheHostServes) {
  struct Case {
    const char* name;
    RangeFault fault;
  };
  for (const Case& entry : {Case{kMoovFirst, RangeFault::kNone}, Case{kMoovLast, RangeFault::kNone},
                            Case{kMoovFirst, RangeFault::kIgnoreRange}}) {
    SCOPED_TRACE(std::string(entry.name) + (entry.fault == RangeFault::kIgnoreRange ? " ignoring ranges" : ""));
    const std::string path = testing::testMediaPath(entry.name);
    const testing::QNVTestVideoTrack video = testing::loadVideoTrack(path);
    const testing::QNVTestAudioTrack audio = testing::loadAudioTrack(path);
    PostedCount failed(kAVPlayerItemFailedToPlayToEndTimeNotification, nullptr);
    server_.clearRequests();
    auto asset = remoteAsset(entry.name, {.fault = entry.fault});
    ASSERT_EQ(load(asset), 1);
    EXPECT_TRUE(testing::readTrack(asset, kQNVVideoTrack) == video.sampleBytes);
    EXPECT_TRUE(testing::readTrack(asset, kQNVAudioTrack) == audio.packets);
    onQueue([&] {
      EXPECT_TRUE(asset->isFullyDownloaded());
      EXPECT_EQ(asset->status(), kQNVAssetStatusReadyToPlay);
    });
    EXPECT_EQ(failed.count.load(), 0);
  }
}

TEST_F(QNVMp4AssetTest, AHeaderAtTheEndIsFetchedThereAndTheMediaDataFromWhereItWasLeft) {
  const auto file = testing::fileBytes(testing::testMediaPath(kMoovLast));
  auto asset = remoteAsset(kMoovLast);
  ASSERT_EQ(load(asset), 1);
  const size_t moovOffset = 40 + boxSize(*file, 40);
  const std::vector<std::string> seen = ranges();
  ASSERT_GE(seen.size(), 3U);
  EXPECT_EQ(seen[0], "bytes=0-39");
  EXPECT_EQ(seen[1].rfind("bytes=40-", 0), 0U) << "the media data's box header and more";
  EXPECT_EQ(seen[2], "bytes=" + std::to_string(moovOffset) + "-" + std::to_string(file->size() - 1))
      << "then the tail, skipping the rest of the media data";
  const uint64_t firstEnd = std::stoull(seen[1].substr(seen[1].find('-') + 1)) + 1;
  testing::waitUntil([&] { return server_.requests().size() > 3; });
  EXPECT_EQ(ranges()[3].rfind("bytes=" + std::to_string(firstEnd) + "-", 0), 0U)
      << "the download goes on from where it left the media data";
}

// A long ftyp, or other boxes before the header, are passed over by
// fetching where the header lies.
TEST_F(QNVMp4AssetTest, BoxesBeforeTheHeaderBeyondTheFirstBytesDoNotHang) {
  const auto file = testing::fileBytes(testing::testMediaPath(kMoovFirst));
  const std::string ftyp = file->substr(0, 32);
  const std::string rest = file->substr(32);
  std::string longFtyp = ftyp;
  longFtyp[3] = static_cast<char>(32 + 200);
  longFtyp += std::string(200, 'x');
  struct Case {
    const char* name;
    std::string bytes;
  };
  for (const Case& entry : {Case{"long_ftyp.mp4", longFtyp + rest}, Case{"free_first.mp4", ftyp + box("free", 300000) + rest}}) {
    SCOPED_TRACE(entry.name);
    auto asset = remoteAssetOf(std::make_shared<const std::string>(entry.bytes), entry.name);
    ASSERT_EQ(load(asset), 1);
    onQueue([&] {
      EXPECT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusLoaded);
      EXPECT_NEAR(asset->duration().seconds(), 4.0, 0.1);
    });
  }
}

// Hosts that fail before the header is known: the handler runs once, the
// key status hands out the loading error with the cause, the status is
// failed, the owner hears of it, and nothing more is fetched.
TEST_F(QNVMp4AssetTest, FailuresBeforeTheHeaderBecomeTheLoadingError) {
  const auto file = testing::fileBytes(testing::testMediaPath(kMoovLast));
  struct Case {
    const char* name;
    std::shared_ptr<const std::string> bytes;
    RangeFault fault;
    std::string causeDomain;
  };
  const Case cases[] = {
      {"not_found.mp4", file, RangeFault::kNotFound, platform::kURLErrorDomain},
      {"server_error.mp4", file, RangeFault::kServerError, platform::kURLErrorDomain},
      {"dropped.mp4", file, RangeFault::kDropMidBody, platform::kURLErrorDomain},
      {"wrong_length.mp4", file, RangeFault::kWrongLength, platform::kURLErrorDomain},
      {"unsatisfiable.mp4", file, RangeFault::kUnsatisfiable, platform::kURLErrorDomain},
      // A file without a header fails once its end is reached.
      {"no_moov.mp4", std::make_shared<const std::string>(file->substr(0, 40 + boxSize(*file, 40))), RangeFault::kNone,
       kQNVAssetLoadingError},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    server_.clearRequests();
    auto asset = remoteAssetOf(entry.bytes, entry.name, {.fault = entry.fault});
    PostedCount failed(kAVPlayerItemFailedToPlayToEndTimeNotification, asset.get());
    EXPECT_EQ(load(asset), 1);
    onQueue([&] {
      std::optional<platform::Error> error;
      EXPECT_EQ(asset->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->domain(), kQNVAssetLoadingError);
      EXPECT_EQ(error->code(), 557);
      const platform::Value* domain = error->userInfo().find("domain");
      ASSERT_NE(domain, nullptr);
      EXPECT_EQ(domain->asString(), entry.causeDomain);
      EXPECT_NE(error->userInfo().find("code"), nullptr);
      if (entry.causeDomain == kQNVAssetLoadingError) {
        EXPECT_EQ(error->userInfo().find("code")->asInteger(), 556);
      }
      EXPECT_EQ(asset->status(), kQNVAssetStatusFailed);
    });
    EXPECT_EQ(failed.count.load(), 1);
    const size_t requests = server_.requests().size();
    onQueue([&] {
      asset->updatePlaybackTime(MediaTime::make(1, 1));
      EXPECT_FALSE(asset->seekToPosition(MediaTime::make(1, 1))) << "no seek before the header";
    });
    asset->requestErrorNotificationIfNeeded();
    onQueue([] {});
    EXPECT_EQ(failed.count.load(), 2) << "the stored error is repeated on request";
    EXPECT_EQ(server_.requests().size(), requests) << "nothing is fetched after a failure";
  }
}

// Media that fails after the header: the reader gets the frames the data
// allows, then the failure reaches the owner; nothing hangs.
TEST_F(QNVMp4AssetTest, FailuresAfterTheHeaderStopPlaybackWithTheHostsError) {
  for (const RangeFault fault : {RangeFault::kDropMidBody, RangeFault::kServerError, RangeFault::kWrongLength}) {
    SCOPED_TRACE(static_cast<int>(fault));
    auto asset = remoteAsset(kMoovFirst, {.fault = fault, .faultFromOffset = 100000});
    PostedCount failed(kAVPlayerItemFailedToPlayToEndTimeNotification, asset.get());
    ASSERT_EQ(load(asset), 1);
    const size_t frames = testing::readTrack(asset, kQNVVideoTrack).size();
    EXPECT_GT(frames, 0U);
    EXPECT_LT(frames, 120U) << "the frames past the failure never come";
    EXPECT_EQ(failed.count.load(), 1);
    onQueue([&] {
      EXPECT_EQ(asset->status(), kQNVAssetStatusFailed);
      std::optional<platform::Error> error;
      EXPECT_EQ(asset->statusOfValueForKey("duration", &error), kQNVKeyValueStatusLoaded)
          << "the header was loaded: no loading error";
    });
  }
}

TEST_F(QNVMp4AssetTest, ASeekBeyondTheDownloadFetchesFromTheSeeksOffset) {
  const std::string path = testing::testMediaPath(kMoovFirst);
  const testing::QNVTestVideoTrack video = testing::loadVideoTrack(path);
  auto asset = remoteAsset(kMoovFirst);
  ASSERT_EQ(load(asset), 1);
  ASSERT_TRUE(testing::waitUntil([&] {
    bool idle = false;
    onQueue([&] { idle = !asset->dataLoader()->fetchInProgressForTrack(kQNVVideoTrack); });
    return idle;
  }));
  uint64_t received = 0;
  uint64_t seekOffset = 0;
  onQueue([&] {
    received = asset->dataLoader()->currentReceiveOffsetForTrack(kQNVVideoTrack);
    EXPECT_FALSE(asset->seekToPosition(MediaTime::indefinite())) << "no frame lies at a time that is no number";
    // Between two sync samples (every 0.5 s): the earlier one.
    ASSERT_TRUE(asset->seekToPosition(MediaTime::make(3200, 1000)));
    EXPECT_NEAR(asset->timeAfterSeek().seconds(), 3.0, 1e-3);
    seekOffset = asset->dataLoader()->currentReceiveOffsetForTrack(kQNVVideoTrack);
  });
  ASSERT_GT(seekOffset, received) << "the seek lies beyond what was downloaded";
  ASSERT_TRUE(testing::waitUntil([&] { return server_.requests().size() >= 3; }));
  EXPECT_EQ(ranges().back().rfind("bytes=" + std::to_string(seekOffset) + "-", 0), 0U);

  // Frame 90 (3.0 s) is a sync sample; the frames from there arrive.
  const auto frames = testing::readTrack(asset, kQNVVideoTrack);
  ASSERT_EQ(frames.size(), video.sampleBytes.size() - 90);
  EXPECT_TRUE(frames.front() == video.sampleBytes[90]);
  EXPECT_TRUE(frames.back() == video.sampleBytes.back());

  // Back to the start: fresh data from the first frame.
  onQueue([&] {
    ASSERT_TRUE(asset->seekToPosition(MediaTime::zero()));
    EXPECT_NEAR(asset->timeAfterSeek().seconds(), 0.0, 1e-9);
    EXPECT_FALSE(asset->resetAssetToBeginningIfNeeded()) << "the answer is always no";
  });
  EXPECT_EQ(testing::readTrack(asset, kQNVVideoTrack).size(), video.sampleBytes.size());
}

TEST_F(QNVMp4AssetTest, StallsAreRefusedOnceEverythingIsThere) {
  auto asset = remoteAsset("baseline_aac_moov_first.mp4");
  ASSERT_EQ(load(asset), 1);
  ASSERT_TRUE(testing::waitUntil([&] {
    bool full = false;
    onQueue([&] { full = asset->isFullyDownloaded(); });
    return full;
  }));
  onQueue([&] {
    asset->updatePlaybackTime(MediaTime::make(999, 1000));
    EXPECT_FALSE(asset->shouldPauseForStallingWithNextCheckCallback([] {}, 3));
    EXPECT_TRUE(asset->shouldRestartAfterStalling());
    EXPECT_EQ(asset->pauseReason(), 0);
  });
}

}  // namespace
}  // namespace plexora

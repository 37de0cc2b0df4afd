// DASH presentations that ffmpeg made, served by the loopback server and
// played through the engine's player and layer on the manual clock, as a
// host that creates the asset plays them: pictures against ffmpeg's decode
// of the same representation, audio against ffprobe's packets, seeks, a
// live stream whose window moves on, and servers that fail a segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "support/MediaOracle.h"
#include "support/PostedCount.h"
#include "testserver/DashLiveManifest.h"
#include "testserver/DashLiveSegments.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/dash/DashPlayerFixture.h"
#include "util/qnv/support/QNVClipPlayback.h"

namespace plexora {
namespace {

using testing::onQueue;
using testing::Posted;
using testing::waitUntil;

using testing::dashDir;
using testing::fileText;
using testing::kHeight;
using testing::kMinimumPsnr;
using testing::kWidth;
using testing::playbackConfig;
using testing::representationFile;
using testing::templateSegments;

class QNVDashPlayerPlaybackTest : public testing::DashPlayerFixture {
 protected:
  QNVDashPlayerPlaybackTest() : DashPlayerFixture("dash-playback-test") {}
};

// Every frame ffmpeg shows of the representation played, at its time, every
// audio packet at its time, and one end: B-frames behind an edit list,
// audio segments that do not line up with the video's.
struct OnDemandCase {
  const char* shape;
  const char* videoId;
  const char* audioId;
};

class QNVDashOnDemandPlaybackTest : public QNVDashPlayerPlaybackTest,
                                    public ::testing::WithParamInterface<OnDemandCase> {};

TEST_P(QNVDashOnDemandPlaybackTest, PlaysLikeFfmpeg) {
  const OnDemandCase& c = GetParam();
  serve(c.shape);
  loadAsset(std::string("/dash/") + c.shape + "/manifest.mpd");
  const std::string video = representationFile(c.shape, c.videoId, dir_.path());
  const testing::QNVPlayedClip played = testing::playItem(playback(), video, kWidth, kHeight);
  ASSERT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << video;
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumPsnr) << "frame " << frame;
    EXPECT_EQ(played.frameRepresentations[frame], c.videoId) << "frame " << frame;
  }
  EXPECT_EQ(played.failures, 0);
  EXPECT_EQ(played.ends, 1);
  testing::expectAudioLikeFfprobe(representationFile(c.shape, c.audioId, dir_.path()), played);
}

INSTANTIATE_TEST_SUITE_P(Shapes, QNVDashOnDemandPlaybackTest,
                         ::testing::Values(OnDemandCase{"bframes_base", "0", "1"},
                                           OnDemandCase{"switch_base", "0", "2"},
                                           OnDemandCase{"bframes_template", "0", "1"},
                                           OnDemandCase{"switch_template", "0", "2"}),
                         [](const auto& info) { return std::string(info.param.shape); });

// A segment the server fails tells the owner (a stop notice or a warning)
// within a bounded time and leaves the player where it was: its time never
// runs on past the media that arrived, however long the clock runs. None
// hangs the player or its teardown.
TEST_F(QNVDashPlayerPlaybackTest, AFailedSegmentReachesTheOwner) {
  using testserver::RangeFault;
  struct Case {
    const char* name;
    RangeFault fault;
    // The end of the video that arrived: the first segment's (1.5 s), or
    // with half the failed one's bytes, less than half of it (its key
    // frame, the largest, comes first).
    double mediaEnd;
  };
  const Case cases[] = {{"404", RangeFault::kNotFound, 1.5},
                        {"500", RangeFault::kServerError, 1.5},
                        {"dropped mid-body", RangeFault::kDropMidBody, 2.25},
                        {"truncated", RangeFault::kTruncated, 2.25}};
  // The player asks whether to stall every 0.2 s of its clock.
  constexpr double kStallCheckInterval = 0.2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The second video segment of the template presentation.
    serve("bframes_template", "seg-0-23040.m4s", c.fault);
    loadAsset("/dash/bframes_template/manifest.mpd");
    Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
    Posted warnings(kQNVAssetWarning, asset_.get());
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    player->replaceCurrentItemWithPlayerItem(asset_);
    player->play();
    EXPECT_TRUE(waitUntil([&] {
      clock_->advance(1.0 / 60);
      return failures.count.load() + warnings.count.load() > 0;
    }));
    EXPECT_LT(player->currentTime().seconds(), 3.0) << "nothing played past the missing segment";
    double latest = 0;
    for (int tick = 0; tick < 6 * 60; ++tick) {
      clock_->advance(1.0 / 60);
      QNVMediaStateQueue()->sync([] {});
      latest = std::max(latest, player->currentTime().seconds());
    }
    EXPECT_LE(latest, c.mediaEnd + kStallCheckInterval) << "six seconds of the clock after the fault";
    player->pause();
    player.reset();
    QNVMediaStateQueue()->sync([] {});
    layer->invalidate();
    onQueue([this] { asset_.reset(); });
  }
}

// A segment that never comes: the player stalls before it and the asset
// and player still go away at once.
TEST_F(QNVDashPlayerPlaybackTest, ASegmentThatNeverComesStallsWithoutHanging) {
  serve("bframes_template", "seg-0-23040.m4s", testserver::RangeFault::kNeverAnswers);
  loadAsset("/dash/bframes_template/manifest.mpd");
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  player->replaceCurrentItemWithPlayerItem(asset_);
  player->play();
  for (int tick = 0; tick < 4 * 60; ++tick) {
    clock_->advance(1.0 / 60);
    QNVMediaStateQueue()->sync([] {});
  }
  EXPECT_LE(player->currentTime().seconds(), 1.6) << "no frame of the missing segment";
  EXPECT_GT(player->currentTime().seconds(), 0.5) << "the first segment played";
  const auto started = std::chrono::steady_clock::now();
  player->pause();
  player.reset();
  QNVMediaStateQueue()->sync([] {});
  layer->invalidate();
  onQueue([this] { asset_.reset(); });
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

// A live stream on the manual clock's wall time: one-second segments, a
// ten-second window. Playback stays near the live edge while the window
// moves on past every entry the first manifest listed, stalls on a
// segment that comes late and goes on once it has come.
TEST_F(QNVDashPlayerPlaybackTest, LivePlaysAtTheEdgeAsTheWindowMovesOn) {
  testserver::DashLiveManifestOptions options;
  options.availabilityStartTime = clock_->wallTime() - 20;
  options.segmentSeconds = 1;
  options.timeShiftBufferSeconds = 10;
  options.minimumUpdatePeriodSeconds = 1;
  options.videoRepresentations = {{"v1", 400'000}};
  options.withAudio = false;
  testserver::DashLiveSource source;
  source.init = std::make_shared<const std::string>(fileText(dashDir() + "/switch_template/init-0.m4s"));
  for (const auto& segment : templateSegments("switch_template", "0")) {
    source.segments.push_back(std::make_shared<const std::string>(fileText(segment.string())));
  }
  source.mediaTimescale = 15360;
  auto clock = clock_;
  server_.on("/live/manifest.mpd", testserver::serveDashLiveManifest(options, [clock] { return clock->wallTime(); }));
  server_.on("/live/v1/", testserver::serveDashLiveSegments(source, options), testserver::Match::Prefix);

  QNVDashAssetConfig config = playbackConfig();
  config.segmentsFromEndToStartPrefetch = 3;
  config.segmentsFromEndToStartUpdate = 3;
  loadAsset("/live/manifest.mpd", config);
  Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  auto layer = QNVPlayerLayer::initWithConfigs(configs);
  layer->setBounds(platform::Rect({0, 0}, {double{kWidth}, double{kHeight}}));
  auto player = QNVPlayer::initWithDisplayEngine(layer);
  player->replaceCurrentItemWithPlayerItem(asset_);
  player->play();

  // Real time for the downloads beside each step of the clock.
  const auto run = [&](double seconds) {
    for (double done = 0; done < seconds; done += 1.0 / 30) {
      clock_->advance(1.0 / 30);
      QNVMediaStateQueue()->sync([] {});
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  };
  run(2);
  const double start = player->currentTime().seconds();
  run(12);
  EXPECT_NEAR(player->currentTime().seconds() - start, 12.0, 1.5) << "played as the clock ran";
  layer->dispatchSyncOnRenderingThread([] {});
  EXPECT_NE(layer->presentedImage(), nullptr);

  // The segment after the edge comes 1.5 s (real time) late.
  const double edge = std::floor(clock_->wallTime()) + 1;
  const auto late = static_cast<uint64_t>(edge * 1000);
  if (const auto segment = testserver::dashLiveSegment(source, options, late)) {
    testserver::Response slow;
    slow.body = *segment;
    slow.delay = std::chrono::milliseconds(1500);
    server_.enqueue("/live/v1/" + std::to_string(late) + ".m4s", slow);
  }
  const double beforeLate = player->currentTime().seconds();
  run(4);
  const auto lateUntil = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < lateUntil) run(0.1);
  run(4);
  EXPECT_GT(player->currentTime().seconds(), beforeLate + 2.0) << "went on after the late segment";
  EXPECT_EQ(failures.count.load(), 0);
  player->pause();
  player.reset();
  QNVMediaStateQueue()->sync([] {});
  layer->invalidate();
}

}  // namespace
}  // namespace plexora

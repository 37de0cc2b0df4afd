// Seeks of on-demand DASH presentations through the engine's player and
// layer on the manual clock, as a host's scrubber asks for them: where the
// player lands, what the layer draws there against ffmpeg's decode of the
// same representation, and that playback goes on from there to one end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "support/MediaOracle.h"
#include "support/PostedCount.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/DashPlayerFixture.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/support/QNVClipPlayback.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::kHeight;
using testing::kMinimumPsnr;
using testing::kWidth;
using testing::Posted;

constexpr double kTick = 1.0 / 60;
// ffprobe rounds its times to the microsecond: a little past the tick after
// a frame's time is surely past it.
constexpr double kPastTheTick = kTick + 1e-4;
// Each segment of the switch shapes starts with a key frame, one a second.
constexpr double kKeyFrameInterval = 1.0;

std::vector<uint8_t> rgbOf(const platform::Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    rgb.insert(rgb.end(), rgba.begin() + static_cast<ptrdiff_t>(i), rgba.begin() + static_cast<ptrdiff_t>(i + 3));
  }
  return rgb;
}

// A player and layer over the fixture's asset, stepped on the manual clock;
// downloads run in real time, so a step that leaves the player's time where
// it was waits a little before the next.
class SeekingPlayback {
 public:
  SeekingPlayback(std::shared_ptr<QNVDashAsset> asset, platform::ManualClock& clock) : clock_(clock) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, {double{kWidth}, double{kHeight}}));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    player_->replaceCurrentItemWithPlayerItem(std::move(asset));
    player_->play();
    settle();
  }
  ~SeekingPlayback() {
    player_->pause();
    settle();
    player_.reset();
    settle();
    layer_->invalidate();
    layer_->dispatchSyncOnRenderingThread([] {});
  }
  SeekingPlayback(const SeekingPlayback&) = delete;
  SeekingPlayback& operator=(const SeekingPlayback&) = delete;

  double now() const { return player_->currentTime().seconds(); }

  // Steps the clock until the player's time reaches `target`; false when it
  // stood still for the whole real-time allowance.
  bool advanceTo(double target) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kRemoteWait;
    for (double time = now(); time < target;) {
      step(std::min(kTick, target - time));
      const double moved = now();
      if (moved <= time) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      time = moved;
    }
    return true;
  }

  // Answers whether the seek finished.
  bool seek(double seconds) {
    auto answer = std::make_shared<std::atomic<int>>(0);
    player_->seekToTime(MediaTime::make(static_cast<int64_t>(std::llround(seconds * 600)), 600),
                        [answer](bool finished) { answer->store(finished ? 1 : -1); });
    settle();
    return answer->load() == 1;
  }

  // Shows the frame at `seconds`: the decoder is given time before and
  // after the display tick that should present it. Answers the PSNR of what
  // the layer shows against `expected`; 0 when the player's time stood
  // still for the whole real-time allowance.
  double showAt(double seconds, const std::vector<uint8_t>& expected) {
    waitForDecoderIdle();
    if (!advanceTo(seconds + kPastTheTick)) return 0;
    waitForDecoderIdle();
    const auto image = layer_->presentedImage();
    if (image == nullptr || image->pixelWidth() != static_cast<size_t>(kWidth) ||
        image->pixelHeight() != static_cast<size_t>(kHeight)) {
      return 0;
    }
    const std::vector<uint8_t> drawn = rgbOf(*image);
    if (drawn.size() != expected.size()) return 0;
    return testing::psnr(drawn.data(), expected.data(), drawn.size());
  }

  void step(double seconds) {
    clock_.advance(seconds);
    settle();
    layer_->dispatchSyncOnRenderingThread([] {});
  }

 private:
  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }

  void waitForDecoderIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    uint64_t decoded = layer_->framesDecompressed();
    for (int idle = 0; idle < 8 && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      settle();
      layer_->dispatchSyncOnRenderingThread([] {});
      const uint64_t decodedNow = layer_->framesDecompressed();
      idle = decodedNow == decoded ? idle + 1 : 0;
      decoded = decodedNow;
    }
  }

  platform::ManualClock& clock_;
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
};

struct SeekCase {
  const char* name;
  const char* shape;
  double playTo;
  double seekTo;
};

class QNVDashPlayerSeekingTest : public testing::DashPlayerFixture,
                                 public ::testing::WithParamInterface<SeekCase> {
 protected:
  QNVDashPlayerSeekingTest() : DashPlayerFixture("dash-seeking-test") {}
};

// The player lands on the key frame at or before the time asked for (the
// start of the segment holding it), shows that frame's picture, and plays
// on from there frame after frame, its time running with the clock, to one
// end.
TEST_P(QNVDashPlayerSeekingTest, OnDemandSeekLandsOnTheKeyFrameAtOrBeforeTheTarget) {
  const SeekCase& c = GetParam();
  serve(c.shape);
  loadAsset(std::string("/dash/") + c.shape + "/manifest.mpd");
  const std::string oracle = testing::representationFile(c.shape, "0", dir_.path());
  const std::vector<double> times = testing::ffprobeVideoFrameTimes(oracle);
  const auto frames = testing::ffmpegFrames(oracle, "rgb24", static_cast<size_t>(kWidth * kHeight * 3),
                                            std::to_string(kWidth) + ":" + std::to_string(kHeight));
  ASSERT_FALSE(times.empty());
  ASSERT_EQ(times.size(), frames.size());
  const double keyFrame = std::floor(c.seekTo / kKeyFrameInterval) * kKeyFrameInterval;
  const auto first = static_cast<size_t>(
      std::distance(times.begin(), std::lower_bound(times.begin(), times.end(), keyFrame - 1e-3)));
  ASSERT_LT(first, times.size());

  Posted failures(kAVPlayerItemFailedToPlayToEndTimeNotification, asset_.get());
  Posted ends(kAVPlayerItemDidPlayToEndTimeNotification, asset_.get());
  SeekingPlayback playback(asset_, *clock_);
  ASSERT_TRUE(playback.advanceTo(c.playTo));

  ASSERT_TRUE(playback.seek(c.seekTo));
  EXPECT_NEAR(playback.now(), times[first], 1e-3) << "the key frame at or before " << c.seekTo;
  EXPECT_GE(playback.showAt(times[first], frames[first]), kMinimumPsnr) << "the key frame at " << times[first];

  for (size_t frame = first + 1; frame < times.size(); ++frame) {
    const double before = playback.now();
    EXPECT_GE(playback.showAt(times[frame], frames[frame]), kMinimumPsnr)
        << "frame " << frame << " at " << times[frame];
    EXPECT_NEAR(playback.now() - before, times[frame] - times[frame - 1], 1e-3) << "no jump before frame " << frame;
  }
  playback.step(1.0);
  EXPECT_EQ(ends.count.load(), 1);
  EXPECT_EQ(failures.count.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Seeks, QNVDashPlayerSeekingTest,
                         ::testing::Values(SeekCase{"base_forward", "switch_base", 0.5, 2.6},
                                           SeekCase{"base_backward", "switch_base", 3.3, 1.4},
                                           SeekCase{"template_forward", "switch_template", 0.5, 2.6},
                                           SeekCase{"template_backward", "switch_template", 3.3, 1.4}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plexora

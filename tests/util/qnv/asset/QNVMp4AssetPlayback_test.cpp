// The remote MP4 asset played through the engine's player and layer on the
// manual clock, fetching from the loopback server as it plays: every frame
// is drawn like ffmpeg's decode and every audio packet reaches the sink in
// order, with the header first and last; a slow host makes playback stall
// and resume; playback starts before the download ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ui/Image.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/asset/RemoteMp4Fixture.h"

namespace plexora {
namespace {

using platform::MediaTime;
using testing::onQueue;
using testing::PostedCount;

constexpr int kWidth = 160;
constexpr int kHeight = 90;
constexpr double kTick = 1.0 / 60.0;

std::vector<uint8_t> rgbOf(const platform::Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    rgb.insert(rgb.end(), rgba.begin() + static_cast<ptrdiff_t>(i), rgba.begin() + static_cast<ptrdiff_t>(i + 3));
  }
  return rgb;
}

class QNVMp4AssetPlaybackTest : public testing::RemoteMp4Fixture {
 protected:
  void TearDown() override {
    if (player_) player_->pause();
    settle();
    player_.reset();
    settle();
    if (layer_) {
      layer_->invalidate();
      ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
    }
    layer_.reset();
  }

  void play(const std::shared_ptr<QNVMp4Asset>& asset) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, {kWidth, kHeight}));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    player_->replaceCurrentItemWithPlayerItem(asset);
    settle();
    player_->setAudioEngine(audio_);
    player_->setMuted(false);
    player_->play();
    settle();
  }

  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }

  void advance(double seconds) {
    clock_->advance(seconds);
    settle();
    ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
  }

  // Decoding and downloads run on real threads: wait for them before the
  // clock moves on.
  bool waitForDecodedFrames(uint64_t count) {
    return testing::waitUntil([&] {
      settle();
      return layer_->dispatchSyncOnRenderingThread([] {}) && layer_->framesDecompressed() >= count;
    });
  }

  double psnrOfPresented(const std::vector<uint8_t>& expected) {
    const auto image = layer_->presentedImage();
    if (image == nullptr || image->pixelWidth() != kWidth || image->pixelHeight() != kHeight) return 0.0;
    const std::vector<uint8_t> drawn = rgbOf(*image);
    return testing::psnr(drawn.data(), expected.data(), drawn.size());
  }

  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVAudioQueue> audio_ = QNVAudioQueue::create();
};

TEST_F(QNVMp4AssetPlaybackTest, PlaysEveryFrameAndTheAudioInOrderWithTheHeaderFirstOrLast) {
  for (const char* name : {"baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4"}) {
    SCOPED_TRACE(name);
    const std::string path = testing::testMediaPath(name);
    const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path);
    const testing::QNVTestAudioTrack audio = testing::loadAudioTrack(path);
    std::vector<MediaTime> times;
    for (const auto& sample : track.samples) times.push_back(sample.presentationTimeStamp());
    std::sort(times.begin(), times.end());
    const auto oracle = testing::ffmpegFrames(path, "rgb24", size_t{kWidth} * kHeight * 3,
                                              std::to_string(kWidth) + ":" + std::to_string(kHeight));
    ASSERT_EQ(oracle.size(), times.size());

    auto asset = remoteAsset(name);
    ASSERT_EQ(load(asset), 1);
    PostedCount ended(kAVPlayerItemDidPlayToEndTimeNotification, asset.get());
    PostedCount failed(kAVPlayerItemFailedToPlayToEndTimeNotification, asset.get());
    play(asset);
    EXPECT_EQ(player_->rate(), 1.0f);
    for (size_t frame = 0; frame < times.size(); ++frame) {
      ASSERT_TRUE(waitForDecodedFrames(std::min(frame + 1, times.size()))) << "frame " << frame;
      const double target = times[frame].seconds() + kTick + 1e-4;
      const double now = player_->currentTime().seconds();
      if (target > now) advance(target - now);
      EXPECT_GE(psnrOfPresented(oracle[frame]), 35.0) << "frame " << frame;
    }
    advance(1.0);
    EXPECT_EQ(ended.count.load(), 1);
    EXPECT_EQ(failed.count.load(), 0);

    // Every packet of the clip's audio went to the sink once, in order.
    std::shared_ptr<platform::AudioOutputQueue> output;
    onQueue([&] { output = audio_->outputQueue(); });
    ASSERT_NE(output, nullptr);
    size_t next = 0;
    for (const auto& buffer : output->playedBuffers()) {
      for (const auto& packet : buffer.packets) {
        ASSERT_LT(next, audio.packets.size());
        EXPECT_TRUE(packet == audio.packets[next]) << "packet " << next;
        ++next;
      }
    }
    EXPECT_EQ(next, audio.packets.size());
    TearDown();
    audio_ = QNVAudioQueue::create();
  }
}

// A host slower than playback: the first frames play before the download
// ends; once the buffered media falls to the stall size the player stalls
// and stands still, and it resumes only with more than the unstall size
// loaded. The test holds the host at two thirds of the file, past the
// first request (the header and the bytes after it) and short of the end,
// so the stall comes whatever the machine's speed.
TEST_F(QNVMp4AssetPlaybackTest, ASlowHostMakesPlaybackStallAndResume) {
  const auto bytes = testing::fileBytes(testing::testMediaPath("remote_moov_first.mp4"));
  auto released = std::make_shared<std::atomic<std::size_t>>(bytes->size() * 2 / 3);
  auto asset = remoteAssetOf(bytes, "remote_moov_first.mp4", {.releasedUpTo = released});
  ASSERT_EQ(load(asset), 1);
  PostedCount failed(kAVPlayerItemFailedToPlayToEndTimeNotification, asset.get());
  std::atomic<int> stalls{0};
  double bufferedAtStall = -1.0;
  double playbackAtStall = -1.0;
  const auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kAVPlayerItemPlaybackStalledNotification, nullptr, nullptr, [&](const platform::Notification&) {
        // Posted on the media-state queue, where the decider lives.
        const QNVBufferSizeDecider& decider = asset->bufferSizeDecider();
        playbackAtStall = decider.playbackTime().seconds();
        bufferedAtStall = decider.timeLoadedInSeconds() - playbackAtStall;
        stalls.fetch_add(1);
      });
  play(asset);
  ASSERT_TRUE(waitForDecodedFrames(1));
  bool fullBeforeStart = true;
  onQueue([&] { fullBeforeStart = asset->isFullyDownloaded(); });
  EXPECT_FALSE(fullBeforeStart) << "playback starts before the download ends";

  // The clock runs past what the host has let go of.
  const auto deadline = std::chrono::steady_clock::now() + testing::kRemoteWait;
  while (stalls.load() == 0 && player_->currentTime().seconds() < 3.5 && std::chrono::steady_clock::now() < deadline) {
    advance(0.05);
  }
  ASSERT_EQ(stalls.load(), 1) << "the player stalled";
  EXPECT_LE(bufferedAtStall, 0.25);
  released->store(bytes->size());

  // Data keeps coming: the stall ends through the asset's callback, with
  // the clock standing where it stalled.
  ASSERT_TRUE(testing::waitUntil([&] { return player_->rate() == 1.0f; }));
  EXPECT_NEAR(player_->currentTime().seconds(), playbackAtStall, 0.05);
  onQueue([&] {
    const QNVBufferSizeDecider& decider = asset->bufferSizeDecider();
    EXPECT_TRUE(asset->isFullyDownloaded() ||
                decider.timeLoadedInSeconds() - decider.playbackTime().seconds() > decider.currentUnstallBuffer());
    EXPECT_EQ(asset->pauseReason(), 0);
  });
  platform::NotificationCenter::defaultCenter().removeObserver(token);
  EXPECT_EQ(failed.count.load(), 0);
}

}  // namespace
}  // namespace plexora

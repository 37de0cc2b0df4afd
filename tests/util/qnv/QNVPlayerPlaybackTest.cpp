// A generated H.264 + AAC clip played through the player facade, the real
// player layer on its rendering thread, the local MP4 asset and the audio
// queue, on the manual clock: every frame is drawn at its time like
// ffmpeg's decode scaled to the layer, and the audio sink plays exactly the
// clip's packets as ffprobe lists them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "util/qnv/QNVLocalMp4Asset.h"
#include "util/qnv/QNVMediaStateQueue.h"
#include "util/qnv/QNVPlayer.h"
#include "util/qnv/QNVTestClip.h"

namespace plexora {
namespace {

using platform::MediaTime;

constexpr int kWidth = 160;
constexpr int kHeight = 90;
constexpr double kTick = 1.0 / 60.0;

std::vector<uint8_t> rgbOf(const platform::Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  rgb.reserve(rgba.size() / 4 * 3);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    rgb.insert(rgb.end(), rgba.begin() + static_cast<ptrdiff_t>(i), rgba.begin() + static_cast<ptrdiff_t>(i + 3));
  }
  return rgb;
}

struct ProbedPacket {
  double seconds;
  size_t size;
};

// ffprobe's packets of the clip's first audio stream, in file order.
std::vector<ProbedPacket> ffprobeAudioPackets(const std::string& path) {
  const std::vector<uint8_t> output = testing::commandOutput(
      "ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,size -of csv=p=0 '" + path + "'");
  std::vector<ProbedPacket> packets;
  std::istringstream lines(std::string(output.begin(), output.end()));
  std::string line;
  while (std::getline(lines, line)) {
    ProbedPacket packet{};
    if (std::sscanf(line.c_str(), "%lf,%zu", &packet.seconds, &packet.size) == 2) packets.push_back(packet);
  }
  return packets;
}

class QNVPlayerPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::QNVTestVideoTrack track = testing::loadVideoTrack(path_);
    ASSERT_TRUE(track.format.has_value());
    for (const auto& sample : track.samples) times_.push_back(sample.presentationTimeStamp());
    std::sort(times_.begin(), times_.end());
    oracle_ = testing::ffmpegFrames(path_, "rgb24", size_t{kWidth} * kHeight * 3,
                                    std::to_string(kWidth) + ":" + std::to_string(kHeight));
    ASSERT_EQ(oracle_.size(), times_.size());

    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, {kWidth, kHeight}));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);

    asset_ = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path_), false, false, {});
    bool loaded = false;
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [&loaded] { loaded = true; });
    ASSERT_TRUE(loaded);
    player_->replaceCurrentItemWithPlayerItem(asset_);
    settle();
  }

  void TearDown() override {
    if (player_) player_->pause();
    settle();
    player_.reset();
    settle();
    if (layer_) {
      layer_->invalidate();
      ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
    }
  }

  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }

  // Decoding runs on real threads: wait for it before the clock moves on.
  void waitForDecodedFrames(uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (layer_->framesDecompressed() < count && std::chrono::steady_clock::now() < deadline) {
      settle();
      ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(layer_->framesDecompressed(), count);
  }

  void advance(double seconds) {
    manualClock_->advance(seconds);
    settle();
    ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
  }

  // Moves the playing clock to just past frame `index`'s time, so a display
  // tick falls between it and the next frame, and answers the picture's
  // PSNR against ffmpeg's frame.
  double showFrame(size_t index) {
    waitForDecodedFrames(std::min<uint64_t>(index + 1, times_.size()));
    const double target = times_[index].seconds() + kTick + 1e-4;
    const double now = player_->currentTime().seconds();
    if (target > now) advance(target - now);
    return presentedPsnr(index);
  }

  double presentedPsnr(size_t index) {
    const auto image = layer_->presentedImage();
    if (image == nullptr || image->pixelWidth() != kWidth || image->pixelHeight() != kHeight) return 0.0;
    const std::vector<uint8_t> drawn = rgbOf(*image);
    return testing::psnr(drawn.data(), oracle_[index].data(), drawn.size());
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  const std::string path_ = testing::testMediaPath("baseline_aac_moov_first.mp4");
  std::vector<MediaTime> times_;
  std::vector<std::vector<uint8_t>> oracle_;
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVLocalMp4Asset> asset_;
  // The sink is read back, so the test hands the player its audio queue.
  std::shared_ptr<QNVAudioQueue> audio_ = QNVAudioQueue::create();
};

// Counts the end-of-item notifications of one asset.
class EndCount {
 public:
  explicit EndCount(const void* asset) {
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        kAVPlayerItemDidPlayToEndTimeNotification, asset, nullptr,
        [this](const platform::Notification&) { count.fetch_add(1); });
  }
  ~EndCount() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
  EndCount(const EndCount&) = delete;
  EndCount& operator=(const EndCount&) = delete;
  std::atomic<int> count{0};

 private:
  platform::NotificationCenter::ObserverToken token_ = 0;
};

TEST_F(QNVPlayerPlaybackTest, PlaysEveryFrameAtItsTimeAndTheClipsAudioInStep) {
  EndCount ended(asset_.get());
  player_->setAudioEngine(audio_);
  player_->setMuted(false);
  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);
  EXPECT_FALSE(player_->isMuted());

  for (size_t frame = 0; frame < times_.size(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    EXPECT_GE(showFrame(frame), 35.0);
  }
  advance(1.0);
  EXPECT_EQ(ended.count.load(), 1);
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_DOUBLE_EQ(player_->currentTime().seconds(), asset_->duration().seconds());

  // Every packet of the clip's audio stream, as ffprobe lists it, went to
  // the sink once, in order, and each buffer began at its first packet's
  // time: the packets before the first playback tick and the last one,
  // which the end cuts inside, included.
  const std::vector<ProbedPacket> probed = ffprobeAudioPackets(path_);
  const testing::QNVTestAudioTrack audio = testing::loadAudioTrack(path_);
  ASSERT_TRUE(audio.description.has_value());
  ASSERT_EQ(audio.packets.size(), probed.size());
  const double rate = audio.description->sampleRate;
  std::shared_ptr<platform::AudioOutputQueue> output;
  QNVMediaStateQueue()->sync([&] { output = audio_->outputQueue(); });
  ASSERT_NE(output, nullptr);
  const auto buffers = output->playedBuffers();
  ASSERT_FALSE(buffers.empty());
  size_t next = 0;
  for (const auto& buffer : buffers) {
    ASSERT_LT(next, probed.size());
    // The asset times packets from the first, at 0: ffprobe's times less
    // the edit list's lead-in, which it shows as a negative first time.
    EXPECT_NEAR(buffer.startSampleTime, (probed[next].seconds - probed.front().seconds) * rate, 1.0)
        << "packet " << next;
    for (const auto& packet : buffer.packets) {
      ASSERT_LT(next, probed.size());
      EXPECT_EQ(packet.size(), probed[next].size) << "packet " << next;
      EXPECT_TRUE(packet == audio.packets[next]) << "packet " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, probed.size());
}

TEST_F(QNVPlayerPlaybackTest, PauseMuteFrameSeekAndTheEnd) {
  EndCount ended(asset_.get());
  player_->setAudioEngine(audio_);
  player_->setMuted(false);
  player_->play();
  settle();
  for (size_t frame = 0; frame < 10; ++frame) ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;

  player_->pause();
  settle();
  EXPECT_EQ(player_->rate(), 0.0f);
  const double pausedAt = player_->currentTime().seconds();
  advance(0.5);
  EXPECT_DOUBLE_EQ(player_->currentTime().seconds(), pausedAt);
  EXPECT_GE(presentedPsnr(9), 35.0) << "the paused picture stays";

  player_->setMuted(true);
  settle();
  EXPECT_TRUE(player_->isMuted());
  std::shared_ptr<platform::AudioOutputQueue> output;
  QNVMediaStateQueue()->sync([&] { output = audio_->outputQueue(); });
  EXPECT_EQ(output, nullptr) << "a muted player holds no audio queue";

  // A frame-accurate seek answers once the layer holds frames up to it.
  std::atomic<int> answers{0};
  std::atomic<bool> finished{false};
  player_->seekToTime(times_[20], MediaTime::zero(), MediaTime::zero(), [&](bool done) {
    finished = done;
    answers.fetch_add(1);
  });
  settle();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (answers.load() == 0 && std::chrono::steady_clock::now() < deadline) advance(0.05);
  ASSERT_EQ(answers.load(), 1);
  EXPECT_TRUE(finished.load());
  EXPECT_NEAR(player_->currentTime().seconds(), times_[20].seconds(), 1e-6);

  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 1.0f);
  for (size_t frame = 21; frame < times_.size(); ++frame) ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  advance(0.5);
  EXPECT_EQ(ended.count.load(), 1);
  EXPECT_EQ(player_->rate(), 0.0f);
  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 0.0f) << "the end refuses play until a seek";

  player_->seekToTime(MediaTime::zero());
  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 1.0f);
  for (size_t frame = 0; frame < 3; ++frame) ASSERT_GE(showFrame(frame), 35.0) << "again, frame " << frame;
}

}  // namespace
}  // namespace plexora

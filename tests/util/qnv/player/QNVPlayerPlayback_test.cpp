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
#include <map>
#include <sstream>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Application.h"
#include "support/PostedCount.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVRenderingThread.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/support/QNVTestClip.h"

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

// The local asset with its data held back from a time on, as a download
// that has not got that far: frames from there are not ready yet, and the
// item asks to stall once playback comes near them. Releasing the data tells
// the player through the kept next-check callback, as new data would.
// Every call runs on the media-state queue.
class HeldBackItem final : public QNVAssetForPlayer {
 public:
  HeldBackItem(std::shared_ptr<QNVLocalMp4Asset> asset, MediaTime heldFrom) : asset_(std::move(asset)), heldFrom_(heldFrom) {}

  void release() {
    heldFrom_ = MediaTime::positiveInfinity();
    if (nextCheck_) nextCheck_();
  }
  std::vector<int32_t> stallReasons;

  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override { return asset_->formatDesc(); }
  platform::AudioStreamBasicDescription asbd() const override { return asset_->asbd(); }
  platform::Dictionary audioStreamExtraParameters() const override { return asset_->audioStreamExtraParameters(); }
  MediaTime duration() const override { return asset_->duration(); }
  bool containsTrack(QNVTrackIndex track) const override { return asset_->containsTrack(track); }
  void addErrorToLog(const platform::Error& error, bool stop) override { asset_->addErrorToLog(error, stop); }
  std::optional<std::string> representationId() const override { return asset_->representationId(); }
  bool trackHasMoreFrames(QNVTrackIndex track) override { return asset_->trackHasMoreFrames(track); }
  // The asset reads a frame with each metadata call: a held frame is kept
  // here until it may go.
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override {
    auto pending = pending_.find(track);
    if (pending == pending_.end()) pending = pending_.emplace(track, asset_->currentFrameMetadataForTrack(track)).first;
    return pending->second.presentationTime < heldFrom_ ? pending->second : QNVFrameMetadata{};
  }
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override {
    return asset_->currentFrameDataForTrack(track);
  }
  void advanceFrameForTrack(QNVTrackIndex track) override {
    pending_.erase(track);
    asset_->advanceFrameForTrack(track);
  }
  void updatePlaybackTime(const MediaTime& time) override {
    playbackTime_ = time;
    asset_->updatePlaybackTime(time);
  }
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t reason) override {
    // The player checks every 1/5 s: stalling a little early keeps the
    // clock short of the first missing frame.
    if (playbackTime_.seconds() + kStallMargin < heldFrom_.seconds()) return false;
    nextCheck_ = std::move(callback);
    stallReasons.push_back(reason);
    return true;
  }
  bool shouldRestartAfterStalling() override { return heldFrom_.isPositiveInfinity(); }
  bool shouldBufferVideoAsSoonAsPossible() const override { return asset_->shouldBufferVideoAsSoonAsPossible(); }
  bool seekToPosition(const MediaTime& time) override { return asset_->seekToPosition(time); }
  bool resetAssetToBeginningIfNeeded() override { return asset_->resetAssetToBeginningIfNeeded(); }
  void playbackPauseRequested(int32_t reason) override { asset_->playbackPauseRequested(reason); }
  void playbackStarted() override { asset_->playbackStarted(); }
  MediaTime timeAfterSeek() const override { return asset_->timeAfterSeek(); }
  QNVAffineTransform preferredTransform() const override { return asset_->preferredTransform(); }
  std::string debugDetails() const override { return asset_->debugDetails(); }
  bool decompressedFramebuffer() const override { return asset_->decompressedFramebuffer(); }
  QNVAssetStatus status() const override { return asset_->status(); }
  bool embedFrameInfo() const override { return asset_->embedFrameInfo(); }
  void setEmbedFrameInfo(bool embed) override { asset_->setEmbedFrameInfo(embed); }
  MediaTime maxBufferTime() const override { return asset_->maxBufferTime(); }
  MediaTime minBufferTime() const override { return asset_->minBufferTime(); }
  int32_t pauseReason() const override { return asset_->pauseReason(); }

 private:
  static constexpr double kStallMargin = 0.1;
  const std::shared_ptr<QNVLocalMp4Asset> asset_;
  MediaTime heldFrom_;
  MediaTime playbackTime_ = MediaTime::zero();
  StallCheckCallback nextCheck_;
  std::map<QNVTrackIndex, QNVFrameMetadata> pending_;
};

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
    const std::vector<uint8_t> flags = testing::commandOutput(
        "ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 '" + path_ + "'");
    for (const uint8_t flag : flags) {
      if (flag == '0' || flag == '1') keyFrames_.push_back(flag == '1');
    }
    ASSERT_EQ(keyFrames_.size(), times_.size());

    asset_ = QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path_), false, false, {});
    bool loaded = false;
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [&loaded] { loaded = true; });
    ASSERT_TRUE(loaded);
    makePlayer(true);
  }

  // A layer that plays while the application is inactive leaves the player
  // deaf to the application's notifications.
  void makePlayer(bool allowPlayWhenInactive) {
    releasePlayer();
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = allowPlayWhenInactive;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    layer_->setBounds(platform::Rect({0, 0}, {kWidth, kHeight}));
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
    player_->replaceCurrentItemWithPlayerItem(asset_);
    settle();
  }

  void releasePlayer() {
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

  void TearDown() override { releasePlayer(); }

  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }

  // A seek reads again from the key frame at or before its target: the
  // frames decoded from then on are counted from that key frame. Called
  // before the seek, once the frames read so far are decoded.
  void beforeSeekTo(size_t frame) {
    waitForDecodedFrames(times_.size());
    size_t key = frame;
    while (key > 0 && !keyFrames_[key]) --key;
    decodedBeforeSeek_ = layer_->framesDecompressed();
    firstFrameAfterSeek_ = key;
  }

  // The process has one rendering thread, and the first layer made decides
  // for good whether it stops while the application is inactive (an earlier
  // test in the same program may have made it). A stopped thread runs
  // nothing until the return, so there is nothing on it to wait for.
  static bool renderingThreadRuns() {
    return platform::Application::shared()->applicationState() == platform::ApplicationState::Active ||
           QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(true)->allowsAppInactivePlayback();
  }

  void drainRenderingThread() {
    if (renderingThreadRuns()) {
      ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
    }
  }

  // Decoding runs on real threads: wait for it before the clock moves on.
  void waitForDecodedFrames(uint64_t count) {
    count = decodedBeforeSeek_ + count - std::min<uint64_t>(count, firstFrameAfterSeek_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (layer_->framesDecompressed() < count && std::chrono::steady_clock::now() < deadline) {
      settle();
      drainRenderingThread();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(layer_->framesDecompressed(), count);
  }

  void advance(double seconds) {
    manualClock_->advance(seconds);
    settle();
    drainRenderingThread();
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

  // The frame a display tick at `seconds` shows: the last one due by then.
  size_t frameDueAt(double seconds) const {
    size_t index = 0;
    while (index + 1 < times_.size() && times_[index + 1].seconds() <= seconds) ++index;
    return index;
  }

  std::shared_ptr<platform::AudioOutputQueue> audioOutput() const {
    std::shared_ptr<platform::AudioOutputQueue> output;
    QNVMediaStateQueue()->sync([&] { output = audio_->outputQueue(); });
    return output;
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  const std::string path_ = testing::testMediaPath("baseline_aac_moov_first.mp4");
  std::vector<MediaTime> times_;
  std::vector<std::vector<uint8_t>> oracle_;
  std::vector<bool> keyFrames_;  // presentation order
  uint64_t decodedBeforeSeek_ = 0;
  size_t firstFrameAfterSeek_ = 0;
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
  std::shared_ptr<QNVLocalMp4Asset> asset_;
  // The sink is read back, so the test hands the player its audio queue.
  std::shared_ptr<QNVAudioQueue> audio_ = QNVAudioQueue::create();
};

using testing::Posted;

TEST_F(QNVPlayerPlaybackTest, PlaysEveryFrameAtItsTimeAndTheClipsAudioInStep) {
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, asset_.get());
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
  const auto output = audioOutput();
  ASSERT_NE(output, nullptr);
  const auto buffers = output->playedBuffers();
  ASSERT_FALSE(buffers.empty());
  size_t next = 0;
  for (const auto& buffer : buffers) {
    ASSERT_LT(next, probed.size());
    // At ffprobe's times: the encoder's priming, before the edit list's
    // start, plays before 0 (and is not heard).
    EXPECT_NEAR(buffer.startSampleTime, probed[next].seconds * rate, 1.0)
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
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, asset_.get());
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
  EXPECT_EQ(audioOutput(), nullptr) << "a muted player holds no audio queue";

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

TEST_F(QNVPlayerPlaybackTest, ASeekMidClipShowsTheFrameThereAndTheSoundGoesOnFromThere) {
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, asset_.get());
  player_->setAudioEngine(audio_);
  player_->setMuted(false);
  player_->play();
  settle();
  for (size_t frame = 0; frame < 5; ++frame) ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  const auto output = audioOutput();
  ASSERT_NE(output, nullptr);
  const size_t buffersBefore = output->playedBuffers().size();

  // Forwards, while playing, to a tick before frame `target`: the answer
  // comes at once, the clock stands at the time asked for, the layer asks
  // for the new frames at its next display tick and they go on from there
  // at their own times.
  const size_t target = 18;
  const MediaTime seekTime = platform::MediaTime::make(times_[target].value * 60 - times_[target].timescale,
                                                       times_[target].timescale * 60);
  std::atomic<int> answers{0};
  beforeSeekTo(target - 1);
  player_->seekToTime(seekTime, [&](bool done) {
    EXPECT_TRUE(done);
    answers.fetch_add(1);
  });
  settle();
  EXPECT_EQ(answers.load(), 1);
  EXPECT_NEAR(player_->currentTime().seconds(), seekTime.seconds(), 1e-6);
  advance(kTick);
  EXPECT_EQ(player_->rate(), 1.0f);
  for (size_t frame = target; frame < times_.size(); ++frame) {
    ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  }
  advance(0.5);
  EXPECT_EQ(ended.count.load(), 1);

  // The sound after the seek begins with the packet playing at the target
  // and goes on packet after packet, each buffer at its packet's time.
  const std::vector<ProbedPacket> probed = ffprobeAudioPackets(path_);
  const testing::QNVTestAudioTrack audio = testing::loadAudioTrack(path_);
  ASSERT_TRUE(audio.description.has_value());
  ASSERT_EQ(audio.packets.size(), probed.size());
  const double rate = audio.description->sampleRate;
  const double packetSeconds = audio.description->framesPerPacket / rate;
  const auto buffers = output->playedBuffers();
  ASSERT_GT(buffers.size(), buffersBefore);
  size_t next = 0;
  while (next < audio.packets.size() && !(buffers[buffersBefore].packets.front() == audio.packets[next])) ++next;
  ASSERT_LT(next, audio.packets.size()) << "the first packet after the seek is one of the clip's";
  const double firstSeconds = probed[next].seconds;
  EXPECT_LE(std::abs(firstSeconds - seekTime.seconds()), packetSeconds) << "packet " << next;
  // The queue starts afresh at the seek: each buffer after it starts as far
  // from the first as its packet lies from the first packet played.
  const size_t firstPacket = next;
  const double firstStart = buffers[buffersBefore].startSampleTime;
  for (size_t index = buffersBefore; index < buffers.size(); ++index) {
    ASSERT_LT(next, probed.size());
    EXPECT_NEAR(buffers[index].startSampleTime - firstStart, (probed[next].seconds - probed[firstPacket].seconds) * rate,
                1.0)
        << "packet " << next;
    for (const auto& packet : buffers[index].packets) {
      ASSERT_LT(next, probed.size());
      EXPECT_TRUE(packet == audio.packets[next]) << "packet " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, probed.size()) << "the sound plays on to the clip's last packet";
}

TEST_F(QNVPlayerPlaybackTest, AnItemThatRunsDryStallsAndPlaysOnWhereItStoppedOnceItsDataComes) {
  const size_t firstHeld = 15;
  const auto item = std::make_shared<HeldBackItem>(asset_, times_[firstHeld]);
  Posted stalled(kAVPlayerItemPlaybackStalledNotification, item.get());
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, item.get());
  player_->replaceCurrentItemWithPlayerItem(item);
  player_->play();
  settle();

  size_t shown = 0;
  while (stalled.count.load() == 0 && shown < firstHeld) {
    ASSERT_GE(showFrame(shown), 35.0) << "frame " << shown;
    ++shown;
  }
  for (int tick = 0; tick < 20 && stalled.count.load() == 0; ++tick) advance(0.05);
  ASSERT_EQ(stalled.count.load(), 1) << "the stall is reported once, for the item";
  EXPECT_EQ(player_->rate(), 0.0f);
  QNVMediaStateQueue()->sync([&] { EXPECT_EQ(item->stallReasons, std::vector<int32_t>{kQNVPauseReasonStallAfterStart}); });
  const double stoppedAt = player_->currentTime().seconds();
  EXPECT_LT(stoppedAt, times_[firstHeld].seconds());
  advance(1.0);
  EXPECT_DOUBLE_EQ(player_->currentTime().seconds(), stoppedAt) << "the clock waits for the data";
  EXPECT_EQ(stalled.count.load(), 1);
  EXPECT_GE(presentedPsnr(frameDueAt(stoppedAt)), 35.0) << "the last frame due stays on screen";

  QNVMediaStateQueue()->sync([&] { item->release(); });
  settle();
  EXPECT_EQ(player_->rate(), 1.0f) << "the play asked for before the stall goes on";
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);
  EXPECT_DOUBLE_EQ(player_->currentTime().seconds(), stoppedAt);
  for (size_t frame = frameDueAt(stoppedAt) + 1; frame < times_.size(); ++frame) {
    ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  }
  advance(0.5);
  EXPECT_EQ(ended.count.load(), 1);
  EXPECT_EQ(stalled.count.load(), 1);
}

TEST_F(QNVPlayerPlaybackTest, GoingInactiveStopsPlaybackInPlaceAndPlayGoesOnFromThereOnceActive) {
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, asset_.get());
  makePlayer(false);
  const auto application = platform::Application::shared();
  struct BackToActive {
    std::shared_ptr<platform::Application> application;
    ~BackToActive() { application->transitionTo(platform::ApplicationState::Active); }
  } restore{application};
  player_->setAudioEngine(audio_);
  player_->setMuted(false);
  player_->play();
  settle();
  for (size_t frame = 0; frame < 8; ++frame) ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  const auto output = audioOutput();
  ASSERT_NE(output, nullptr);

  application->transitionTo(platform::ApplicationState::Inactive);
  settle();
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusUnknown);
  const double pausedAt = player_->currentTime().seconds();
  const size_t buffersPlayed = output->playedBuffers().size();
  advance(0.5);
  EXPECT_DOUBLE_EQ(player_->currentTime().seconds(), pausedAt);
  EXPECT_EQ(output->playedBuffers().size(), buffersPlayed) << "the sound stops with the picture";

  // Back without a play asked for meanwhile: still paused, in place, with
  // the picture there filled in again.
  beforeSeekTo(frameDueAt(pausedAt));
  application->transitionTo(platform::ApplicationState::Active);
  settle();
  advance(kTick);
  waitForDecodedFrames(frameDueAt(pausedAt) + 1);
  advance(kTick);
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_NEAR(player_->currentTime().seconds(), pausedAt, 1e-6);
  EXPECT_GE(presentedPsnr(frameDueAt(pausedAt)), 35.0);

  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);
  const size_t resumedFrom = frameDueAt(pausedAt) + 1;
  for (size_t frame = resumedFrom; frame < resumedFrom + 5; ++frame) {
    ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  }
  EXPECT_GT(audioOutput()->playedBuffers().size(), buffersPlayed) << "the sound plays on";

  // A play asked for while inactive waits for the return, then plays on.
  application->transitionTo(platform::ApplicationState::Inactive);
  settle();
  const double secondPause = player_->currentTime().seconds();
  player_->play();
  settle();
  EXPECT_EQ(player_->rate(), 0.0f) << "nothing plays while inactive";
  beforeSeekTo(frameDueAt(secondPause));
  application->transitionTo(platform::ApplicationState::Active);
  settle();
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_NEAR(player_->currentTime().seconds(), secondPause, 1e-6);
  advance(kTick);
  for (size_t frame = frameDueAt(secondPause) + 1; frame < times_.size(); ++frame) {
    ASSERT_GE(showFrame(frame), 35.0) << "frame " << frame;
  }
  advance(0.5);
  EXPECT_EQ(ended.count.load(), 1);
}

}  // namespace
}  // namespace plexora

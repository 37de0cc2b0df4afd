// The system player over GStreamer, on the manual clock: a generated clip
// (file and loopback server) is drawn frame by frame at its times like
// ffmpeg's decode, after seeks and in play; what cannot be played fails
// the item.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/GStreamerPlayer.h"
#include "platform/media/GStreamerPlayerKit.h"
#include "platform/media/GStreamerPlayerLayer.h"
#include "support/MediaOracle.h"
#include "support/PostedCount.h"
#include "testserver/TestServer.h"

namespace plexora::platform {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 90;
// GStreamer works on its own threads and the loopback server on its own:
// a loaded machine may take long, the clock never waits for them.
constexpr double kWaitSeconds = 60.0;
// Frame times as GStreamer counts them (nanoseconds) and as ffprobe prints
// them (microseconds) agree to within this.
constexpr double kTimeTolerance = 1e-3;
const std::string kClip = "baseline_aac_moov_first.mp4";

std::string mediaPath(const std::string& name) { return std::string(PLEXORA_TEST_MEDIA_DIR) + "/" + name; }

bool waitFor(const std::function<bool()>& done) { return MainLoop::instance().runUntil(done, kWaitSeconds); }

std::vector<uint8_t> rgbOf(const Image& image) {
  std::vector<uint8_t> rgb;
  const auto rgba = image.rgba();
  for (size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
  return rgb;
}

// ffprobe's presentation times of the clip's video frames, in order.
std::vector<double> ffprobeFrameTimes(const std::string& path) {
  const std::vector<uint8_t> output = testing::commandOutput(
      "ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 '" + path + "'");
  std::vector<double> times;
  std::istringstream lines(std::string(output.begin(), output.end()));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) times.push_back(std::stod(line));
  }
  return times;
}

using plexora::testing::Posted;

class GStreamerPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    times_ = ffprobeFrameTimes(mediaPath(kClip));
    oracle_ = testing::ffmpegFrames(mediaPath(kClip), "rgb24", size_t{kWidth} * kHeight * 3);
    ASSERT_FALSE(times_.empty());
    ASSERT_EQ(oracle_.size(), times_.size());
  }

  void TearDown() override {
    if (item_) item_->removeObserver(observation_);
    layer_.reset();
    player_.reset();
    item_.reset();
    DispatchQueue::settle();
  }

  // The kit's objects for `url`, the layer showing the player, and the
  // item's changes recorded.
  void open(const URL& url) {
    GStreamerPlayerKit kit;
    auto item = std::dynamic_pointer_cast<GStreamerPlayerItem>(kit.makePlayerItem(kit.makeURLAsset(url)));
    ASSERT_NE(item, nullptr);
    player_ = std::dynamic_pointer_cast<GStreamerPlayer>(kit.makePlayer(item));
    ASSERT_NE(player_, nullptr);
    layer_ = std::dynamic_pointer_cast<GStreamerPlayerLayer>(kit.makePlayerLayer());
    ASSERT_NE(layer_, nullptr);
    layer_->setPlayer(player_);
    item_ = item;
    observation_ = item_->addObserver([this](const std::string& key) { changes_.push_back(key); });
  }

  void openClip() { open(*URL::fromFilePath(mediaPath(kClip))); }

  bool changed(const std::string& key) const {
    return std::find(changes_.begin(), changes_.end(), key) != changes_.end();
  }

  // Moves the clock to just past frame `index`'s time, waits until the
  // layer shows a frame from then on, and answers that it is this very
  // frame (none later came early) drawn like ffmpeg's.
  void expectFrameAtItsTime(size_t index) {
    SCOPED_TRACE("frame " + std::to_string(index));
    const double target = times_[index] + kTimeTolerance;
    const double now = player_->currentTime().seconds();
    if (target > now) clock_->advance((target - now) / std::max(1.0f, player_->rate()));
    ASSERT_TRUE(waitFor([&] {
      const auto shown = layer_->presentedTime();
      return shown && shown->seconds() > times_[index] - kTimeTolerance;
    }));
    expectShowing(index);
  }

  void expectShowing(size_t index) {
    const auto shown = layer_->presentedTime();
    ASSERT_TRUE(shown.has_value());
    EXPECT_NEAR(shown->seconds(), times_[index], kTimeTolerance);
    const auto image = layer_->presentedImage();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->pixelWidth(), static_cast<uint32_t>(kWidth));
    ASSERT_EQ(image->pixelHeight(), static_cast<uint32_t>(kHeight));
    const std::vector<uint8_t> drawn = rgbOf(*image);
    EXPECT_GE(testing::psnr(drawn.data(), oracle_[index].data(), drawn.size()), 35.0);
  }

  void seekAndWait(double seconds) {
    bool answered = false;
    bool finished = false;
    player_->seekToTime(MediaTime::make(std::llround(seconds * 1e6), 1000000), [&](bool done) {
      answered = true;
      finished = done;
    });
    ASSERT_TRUE(waitFor([&] { return answered; }));
    EXPECT_TRUE(finished);
  }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClock scopedClock_{clock_};
  std::vector<double> times_;
  std::vector<std::vector<uint8_t>> oracle_;
  std::shared_ptr<GStreamerPlayerItem> item_;
  std::shared_ptr<GStreamerPlayer> player_;
  std::shared_ptr<GStreamerPlayerLayer> layer_;
  SystemPlayerItem::ObserverToken observation_ = 0;
  std::vector<std::string> changes_;
};

TEST_F(GStreamerPlayerTest, PlaysEveryFrameAtItsTimeToTheEndWithTimeObserversOnTheMainQueue) {
  openClip();
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, item_.get());
  ASSERT_TRUE(waitFor([&] { return item_->status() == SystemPlayerItemStatus::kReadyToPlay; }));
  EXPECT_TRUE(changed(kSystemPlayerItemStatusKey));
  EXPECT_TRUE(changed(kSystemPlayerItemDurationKey));
  EXPECT_TRUE(changed(kSystemPlayerItemLikelyToKeepUpKey));
  EXPECT_TRUE(item_->isPlaybackLikelyToKeepUp()) << "a file never waits for data";
  EXPECT_NEAR(item_->duration().seconds(), 1.0, 0.05);
  EXPECT_EQ(player_->rate(), 0.0f);
  ASSERT_TRUE(waitFor([&] { return layer_->presentedTime().has_value(); }));
  expectShowing(0);

  std::vector<double> ticks;
  const auto observer = player_->addPeriodicTimeObserver(MediaTime::make(1, 4), DispatchQueue::main(),
                                                         [&](MediaTime time) {
                                                           EXPECT_TRUE(DispatchQueue::isMainThread());
                                                           ticks.push_back(time.seconds());
                                                         });
  player_->play();
  EXPECT_EQ(player_->rate(), 1.0f);
  for (size_t frame = 0; frame < times_.size(); ++frame) expectFrameAtItsTime(frame);
  clock_->advance(0.5);
  ASSERT_TRUE(waitFor([&] { return ended.count.load() > 0; }));
  EXPECT_EQ(ended.count.load(), 1);
  EXPECT_EQ(player_->rate(), 0.0f);
  EXPECT_NEAR(player_->currentTime().seconds(), item_->duration().seconds(), 1e-6);
  player_->play();
  EXPECT_EQ(player_->rate(), 0.0f) << "the end refuses play until a seek";

  // Every quarter second of playback, at the quarter.
  ASSERT_GE(ticks.size(), 3u);
  for (size_t tick = 0; tick < 3; ++tick) EXPECT_NEAR(ticks[tick], 0.25 * static_cast<double>(tick + 1), 1e-3);
  player_->removeTimeObserver(observer);
}

TEST_F(GStreamerPlayerTest, SeeksShowTheFrameThereAndPlayGoesOnFromIt) {
  openClip();
  ASSERT_TRUE(waitFor([&] { return item_->status() == SystemPlayerItemStatus::kReadyToPlay; }));

  // Paused: the picture of the time sought is shown at once.
  seekAndWait(times_[20]);
  ASSERT_TRUE(waitFor([&] {
    const auto shown = layer_->presentedTime();
    return shown && std::abs(shown->seconds() - times_[20]) < kTimeTolerance;
  }));
  expectShowing(20);
  EXPECT_NEAR(player_->currentTime().seconds(), times_[20], kTimeTolerance);

  player_->play();
  for (size_t frame = 21; frame < 25; ++frame) expectFrameAtItsTime(frame);

  // Back while playing: from the frame there on, at their times.
  seekAndWait(times_[5]);
  EXPECT_EQ(player_->rate(), 1.0f);
  for (size_t frame = 5; frame < 9; ++frame) expectFrameAtItsTime(frame);

  // Twice the speed: the clip's time runs twice as fast as the clock.
  player_->setRate(2.0f);
  ASSERT_TRUE(waitFor([&] { return !item_->isSeeking(); }));
  for (size_t frame = 12; frame < 20; frame += 2) expectFrameAtItsTime(frame);
  // GStreamer reads its time no further than its sinks have buffers.
  const double before = player_->currentTime().seconds();
  clock_->advance(0.1);
  ASSERT_TRUE(waitFor([&] { return player_->currentTime().seconds() - before > 0.2 - kTimeTolerance; }));
  EXPECT_NEAR(player_->currentTime().seconds() - before, 0.2, kTimeTolerance);

  player_->pause();
  EXPECT_EQ(player_->rate(), 0.0f);
  const double pausedAt = player_->currentTime().seconds();
  clock_->advance(0.3);
  EXPECT_NEAR(player_->currentTime().seconds(), pausedAt, kTimeTolerance);
}

TEST_F(GStreamerPlayerTest, AClipFromTheLoopbackServerBuffersThenPlaysToTheEnd) {
  testserver::TestServer server;
  server.start();
  std::ifstream file(mediaPath(kClip), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  testserver::Response clip;
  clip.headers = {{"Content-Type", "video/mp4"}};
  clip.body = bytes;
  server.on("/ad.mp4", clip);

  open(*URL::parse(server.url("ad.mp4")));
  Posted ended(kAVPlayerItemDidPlayToEndTimeNotification, item_.get());
  ASSERT_TRUE(waitFor([&] {
    return item_->status() == SystemPlayerItemStatus::kReadyToPlay && item_->isPlaybackLikelyToKeepUp();
  }));
  EXPECT_TRUE(changed(kSystemPlayerItemLikelyToKeepUpKey));
  EXPECT_TRUE(changed(kSystemPlayerItemBufferFullKey)) << "the buffer filled as GStreamer said";
  EXPECT_TRUE(item_->isPlaybackBufferFull());
  EXPECT_NEAR(item_->duration().seconds(), 1.0, 0.05);

  player_->setMuted(true);
  player_->setVolume(0.5f);
  EXPECT_TRUE(player_->isMuted());
  EXPECT_EQ(player_->volume(), 0.5f);
  player_->play();
  for (size_t frame = 0; frame < times_.size(); frame += 3) expectFrameAtItsTime(frame);
  clock_->advance(0.5);
  ASSERT_TRUE(waitFor([&] { return ended.count.load() > 0; }));
  EXPECT_FALSE(server.requests().empty());
  EXPECT_FALSE(item_->error().has_value());
}

TEST_F(GStreamerPlayerTest, WhatCannotBePlayedFailsTheItem) {
  testserver::TestServer server;
  server.start();
  server.on("/text", testserver::Response::text(200, "no video here, only words"));
  const struct {
    const char* name;
    std::string url;
  } cases[] = {
      {"missing file", "file:///nonexistent/plexora/ad.mp4"},
      {"text body", server.url("text")},
      {"not found", server.url("missing.mp4")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    changes_.clear();
    open(*URL::parse(c.url));
    Posted failed(kAVPlayerItemFailedToPlayToEndTimeNotification, item_.get());
    player_->play();
    ASSERT_TRUE(waitFor([&] { return item_->status() == SystemPlayerItemStatus::kFailed; }));
    EXPECT_TRUE(changed(kSystemPlayerItemStatusKey));
    ASSERT_TRUE(item_->error().has_value());
    EXPECT_FALSE(item_->error()->localizedDescription().empty());
    EXPECT_EQ(player_->error(), item_->error());
    EXPECT_EQ(player_->rate(), 0.0f);
    EXPECT_EQ(failed.count.load(), 0) << "it never was ready to play";

    // The asset's own load fails alike.
    std::atomic<bool> loaded{false};
    const auto asset = std::dynamic_pointer_cast<SystemPlayerAsset>(item_->asset());
    asset->loadValuesAsynchronouslyForKeys({"duration"}, [&] { loaded = true; });
    ASSERT_TRUE(waitFor([&] { return loaded.load(); }));
    EXPECT_TRUE(asset->error().has_value());
    item_->removeObserver(observation_);
  }
}

TEST_F(GStreamerPlayerTest, TheAssetLearnsDurationAndSizeAndTheKitIsTheDefault) {
  GStreamerPlayerKit kit;
  const auto asset = std::dynamic_pointer_cast<SystemPlayerAsset>(kit.makeURLAsset(*URL::fromFilePath(mediaPath(kClip))));
  ASSERT_NE(asset, nullptr);
  std::atomic<bool> loaded{false};
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [&] { loaded = true; });
  ASSERT_TRUE(waitFor([&] { return loaded.load(); }));
  EXPECT_FALSE(asset->error().has_value());
  EXPECT_NEAR(asset->duration().seconds(), 1.0, 0.05);
  EXPECT_EQ(asset->naturalSize(), (Size{kWidth, kHeight}));

  EXPECT_NE(std::dynamic_pointer_cast<GStreamerPlayerKit>(SystemPlayerKit::installed()), nullptr);
  struct OtherAsset final : PlayerAsset {
    void loadValuesAsynchronouslyForKeys(const std::vector<std::string>&, std::function<void()>) override {}
    MediaTime duration() const override { return MediaTime::zero(); }
    void cancelLoading() override {}
  };
  EXPECT_EQ(kit.makePlayerItem(std::make_shared<OtherAsset>()), nullptr) << "only its own assets";
  EXPECT_EQ(kit.makePlayer(nullptr), nullptr);
}

}  // namespace
}  // namespace plexora::platform

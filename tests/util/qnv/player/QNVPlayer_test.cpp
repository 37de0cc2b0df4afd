// The player facade over the real layer and clock: observable status, item
// and rate posted on the media-state queue, reads from other threads while
// the queue writes, periodic observers on the caller's queue, and the
// application-state forwarding.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Timebase.h"
#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/player/QNVSynchronousPlayerDoubles.h"

namespace plexora {
namespace {

using platform::MediaTime;

// Records each change of a key with whether it arrived on the state queue.
class ChangeRecorder final : public OVAdKeyValueObserver {
 public:
  struct Change {
    std::string key;
    platform::Value value;
    bool onStateQueue = false;
  };
  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    std::lock_guard lock(mutex_);
    const platform::Value* value = change.find(kOVAdKeyValueChangeNewKey);
    changes_.push_back({keyPath, value != nullptr ? *value : platform::Value{}, QNVIsOnMediaStateQueue()});
  }
  std::vector<Change> changes() {
    std::lock_guard lock(mutex_);
    return changes_;
  }

 private:
  std::mutex mutex_;
  std::vector<Change> changes_;
};

class QNVPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { item_->hasAudio = false; }
  void TearDown() override {
    player_.reset();
    settle();
    if (layer_) invalidateLayer();
  }
  // The rendering thread lets go of its GL context before the test ends.
  void invalidateLayer() {
    layer_->invalidate();
    ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
    layer_.reset();
  }
  void makePlayer(bool renderWhileInactive) {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = renderWhileInactive;
    layer_ = QNVPlayerLayer::initWithConfigs(configs);
    player_ = QNVPlayer::initWithDisplayEngine(layer_);
  }
  static void settle() {
    QNVMediaStateQueue()->sync([] {});
    platform::DispatchQueue::settle();
  }
  void advance(double seconds) {
    manualClock_->advance(seconds);
    settle();
  }

  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<testing::ScriptedItem> item_ = std::make_shared<testing::ScriptedItem>();
  std::shared_ptr<QNVPlayerLayer> layer_;
  std::shared_ptr<QNVPlayer> player_;
};

TEST_F(QNVPlayerTest, StatusItemAndRateChangesArePostedOnTheStateQueue) {
  makePlayer(true);
  auto recorder = std::make_shared<ChangeRecorder>();
  for (const char* key : {kQNVPlayerStatusKey, kQNVPlayerCurrentItemKey, kQNVPlayerRateKey}) {
    player_->addObserver(recorder, key, kOVAdKeyValueObservingOptionNew, nullptr);
  }
  EXPECT_TRUE(player_->isMuted()) << "a new player is muted";
  player_->replaceCurrentItemWithPlayerItem(item_);
  player_->play();
  EXPECT_EQ(player_->rate(), 0.0f) << "a read right after a command answers the value from before";
  settle();

  const auto changes = recorder->changes();
  ASSERT_EQ(changes.size(), 3U);
  EXPECT_EQ(changes[0].key, kQNVPlayerCurrentItemKey);
  EXPECT_EQ(changes[1].key, kQNVPlayerRateKey);
  EXPECT_EQ(changes[1].value, platform::Value(1.0));
  EXPECT_EQ(changes[2].key, kQNVPlayerStatusKey);
  EXPECT_EQ(changes[2].value, platform::Value(int64_t{kQNVPlayerStatusReadyToPlay}));
  for (const auto& change : changes) EXPECT_TRUE(change.onStateQueue) << change.key;
  EXPECT_EQ(player_->currentItem(), item_);
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_EQ(player_->status(), kQNVPlayerStatusReadyToPlay);

  // Only 0 and 1 are rates; external playback is never on.
  {
    testing::QNVExpectedSoftAssertions expected;
    player_->setRate(0.5f);
    player_->setAllowsExternalPlayback(true);
    player_->setVolume(0.25f);
    settle();
    EXPECT_TRUE(expected.sawReason("Only valid rates with the QNVPlayer are 0.0 or 1.0. 0.500000 given"));
  }
  EXPECT_EQ(player_->rate(), 1.0f);
  EXPECT_FALSE(player_->allowsExternalPlayback());
  EXPECT_EQ(player_->volume(), 0.25f);
  for (const char* key : {kQNVPlayerStatusKey, kQNVPlayerCurrentItemKey, kQNVPlayerRateKey}) {
    player_->removeObserver(recorder.get(), key, nullptr);
  }
}

TEST_F(QNVPlayerTest, ReadsFromOtherThreadsWhileCommandsRun) {
  makePlayer(true);
  player_->replaceCurrentItemWithPlayerItem(item_);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) {
      (void)player_->volume();
      (void)player_->isMuted();
      (void)player_->error();
      (void)player_->currentTime();
      (void)player_->lastStartingTime();
      (void)player_->lastRequestedStartTime();
      (void)player_->status();
      (void)player_->rate();
      (void)player_->currentItem();
    }
  });
  for (int round = 0; round < 100; ++round) {
    player_->play();
    player_->setVolume(static_cast<float>(round) / 100.0f);
    player_->setMuted(round % 2 == 0);
    player_->pause();
    player_->seekToTime(MediaTime::make(round % 10, 10));
  }
  settle();
  stop = true;
  reader.join();
  EXPECT_EQ(player_->volume(), 0.99f);
  EXPECT_FALSE(player_->isMuted());

  // A facade released right after a command lives until the command ran.
  player_->play();
  player_.reset();
  settle();
}

TEST_F(QNVPlayerTest, PeriodicObserversReportOnTheCallersQueue) {
  makePlayer(true);
  auto callerQueue = platform::DispatchQueue::createSerial("periodic-observer-caller");
  std::mutex mutex;
  std::vector<double> times;
  bool onCallerQueue = true;
  auto observer = player_->addPeriodicTimeObserverForInterval(MediaTime::make(1, 2), callerQueue,
                                                             [&](MediaTime time) {
                                                               std::lock_guard lock(mutex);
                                                               onCallerQueue = onCallerQueue && callerQueue->isCurrent();
                                                               times.push_back(time.seconds());
                                                             });
  auto silent = player_->addPeriodicTimeObserverForInterval(MediaTime::make(1, 2), callerQueue, nullptr);
  ASSERT_NE(observer, nullptr);
  ASSERT_NE(silent, nullptr);
  item_->tracks[kQNVVideoTrack].clear();
  player_->replaceCurrentItemWithPlayerItem(item_);
  player_->play();
  settle();
  advance(1.05);
  callerQueue->sync([] {});
  player_->removeTimeObserver(observer);
  advance(1.0);
  callerQueue->sync([] {});
  std::lock_guard lock(mutex);
  ASSERT_GE(times.size(), 2U);
  EXPECT_NEAR(times.back(), 1.0, 1e-6);
  EXPECT_TRUE(onCallerQueue);
}

TEST_F(QNVPlayerTest, ApplicationStateReachesOnlyAPlayerThatMayNotRenderInactive) {
  for (const bool renderWhileInactive : {false, true}) {
    SCOPED_TRACE(renderWhileInactive ? "renders while inactive" : "stops while inactive");
    makePlayer(renderWhileInactive);
    player_->replaceCurrentItemWithPlayerItem(item_);
    player_->play();
    settle();
    ASSERT_EQ(player_->rate(), 1.0f);
    platform::NotificationCenter::defaultCenter().post(platform::kApplicationWillResignActiveNotification);
    settle();
    EXPECT_EQ(player_->rate(), renderWhileInactive ? 1.0f : 0.0f);
    EXPECT_EQ(player_->status(), renderWhileInactive ? kQNVPlayerStatusReadyToPlay : kQNVPlayerStatusUnknown);
    platform::NotificationCenter::defaultCenter().post(platform::kApplicationDidBecomeActiveNotification);
    settle();
    EXPECT_EQ(player_->rate(), renderWhileInactive ? 1.0f : 0.0f) << "coming back does not resume by itself";
    player_.reset();
    settle();
    invalidateLayer();
  }
}

TEST_F(QNVPlayerTest, AStoppedPumpIsNotAskedForDataAgain) {
  QNVPlayerLayerConfigs configs;
  configs.offMainThreadRendering = true;
  configs.allowPlayWhenInactive = true;
  layer_ = QNVPlayerLayer::initWithConfigs(configs);
  layer_->setBounds(platform::Rect({0, 0}, {16, 16}));
  layer_->setControlTimebase(platform::Timebase::create());
  std::atomic<int> asked{0};
  QNVMediaStateQueue()->sync([&] {
    layer_->resume();
    layer_->requestMediaDataWhenReadyOnQueue(QNVMediaStateQueue(), [&asked] { asked.fetch_add(1); });
  });
  const auto tick = [&](double seconds) {
    advance(seconds);
    ASSERT_TRUE(layer_->dispatchSyncOnRenderingThread([] {}));
    settle();
  };
  tick(1.0);
  const int whileRequesting = asked.load();
  EXPECT_GT(whileRequesting, 1) << "an empty layer keeps asking";
  QNVMediaStateQueue()->sync([&] { layer_->stopRequestingMediaData(); });
  tick(1.0);
  EXPECT_EQ(asked.load(), whileRequesting);
  QNVMediaStateQueue()->sync([&] { layer_->pause(kQNVPauseReasonRequested); });
}

}  // namespace
}  // namespace plexora

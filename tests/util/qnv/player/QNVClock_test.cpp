// The playback clock's observers and the wall-clock timers, on the manual
// clock.
#include <gtest/gtest.h>

#include <mutex>

#include "platform/dispatch/Clock.h"
#include "support/qnv/QNVExpectedSoftAssertions.h"
#include "util/qnv/player/QNVClock.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/core/QNVRealTimer.h"

namespace plexora {
namespace {

using platform::MediaTime;

// Times at which an observer fired, in seconds of the clock.
class Firings {
 public:
  std::function<void(MediaTime)> block() {
    return [this](MediaTime time) {
      std::lock_guard lock(mutex_);
      times_.push_back(time.seconds());
    };
  }
  std::vector<double> times() {
    std::lock_guard lock(mutex_);
    return times_;
  }

 private:
  std::mutex mutex_;
  std::vector<double> times_;
};

void onStateQueue(const std::function<void()>& work) { QNVMediaStateQueue()->sync(work); }

// The manual clock settles the queues only after the wakeups it fires; work
// queued without one (a firing held back and delivered on resume) is
// settled here.
void advanceAndSettle(platform::ManualClock& clock, double seconds) {
  clock.advance(seconds);
  platform::DispatchQueue::settle();
}

MediaTime seconds(double value) { return MediaTime::make(static_cast<int64_t>(value * 1000), 1000); }

class QNVClockTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::shared_ptr<QNVRealClock> clock_ = QNVRealClock::create();
  Firings firings_;

  void advance(double seconds) { advanceAndSettle(*manualClock_, seconds); }

  std::shared_ptr<QNVPlayerTimeObserver> add(double interval, bool fireOnce, bool followMasterClock) {
    std::shared_ptr<QNVPlayerTimeObserver> observer;
    onStateQueue([&] {
      observer = clock_->createTimeObserverWithInterval(seconds(interval), firings_.block(), fireOnce, followMasterClock);
      EXPECT_TRUE(clock_->addTimeObserver(observer));
    });
    return observer;
  }
};

void expectTimes(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-6) << "firing " << i;
}

TEST_F(QNVClockTest, RunsOnlyWhileResumedAndMovesWithSet) {
  EXPECT_EQ(clock_->currentTime(), MediaTime::zero());
  advance(3);
  EXPECT_EQ(clock_->currentTime(), MediaTime::zero());
  onStateQueue([&] { clock_->resume(); });
  advance(1.5);
  EXPECT_NEAR(clock_->currentTime().seconds(), 1.5, 1e-9);
  onStateQueue([&] {
    clock_->pause();
    clock_->set(seconds(10));
  });
  advance(2);
  EXPECT_NEAR(clock_->currentTime().seconds(), 10.0, 1e-9);
}

TEST_F(QNVClockTest, PeriodicMasterObserverFiresOnlyWhileTheClockRuns) {
  add(0.25, false, true);
  advance(1);
  EXPECT_TRUE(firings_.times().empty());
  onStateQueue([&] { clock_->resume(); });
  advance(1);
  onStateQueue([&] { clock_->pause(); });
  advance(1);
  expectTimes(firings_.times(), {0.25, 0.5, 0.75, 1.0});
  // After a resume the next firing is one interval after the resume time.
  onStateQueue([&] {
    clock_->set(seconds(5.1));
    clock_->resume();
  });
  advance(0.3);
  expectTimes(firings_.times(), {0.25, 0.5, 0.75, 1.0, 5.35});
}

TEST_F(QNVClockTest, FireOnceObserverFiresAtItsTimeThenStaysSuspended) {
  auto observer = add(1.5, true, true);
  onStateQueue([&] { clock_->resume(); });
  advance(1);
  EXPECT_TRUE(firings_.times().empty());
  advance(3);
  expectTimes(firings_.times(), {1.5});
  onStateQueue([&] { EXPECT_TRUE(observer->suspended); });
}

TEST_F(QNVClockTest, FireOnceObserverPassedWhilePausedFiresOnceAtResume) {
  auto observer = add(1.0, true, true);
  onStateQueue([&] {
    clock_->set(seconds(2));
    clock_->resume();
  });
  advance(5);
  expectTimes(firings_.times(), {2.0});
  onStateQueue([&] { EXPECT_TRUE(observer->suspended); });
}

TEST_F(QNVClockTest, WallClockObserverFiresAtOnceAndEveryIntervalWhetherOrNotTheClockRuns) {
  add(0.2, false, false);
  advance(1.05);
  EXPECT_EQ(firings_.times().size(), 6U);  // at 0, then five intervals
  for (double time : firings_.times()) EXPECT_EQ(time, 0.0);
}

TEST_F(QNVClockTest, SuspendedObserverHoldsItsFiringUntilResumed) {
  auto observer = add(0.5, false, true);
  onStateQueue([&] {
    clock_->resume();
    clock_->suspendTimeObserver(observer);
  });
  advance(2);
  EXPECT_TRUE(firings_.times().empty());
  onStateQueue([&] { clock_->resumeTimeObserver(observer); });
  advance(0);
  advance(0.5);
  // The held-back firing at resume, then the periodic one after it.
  expectTimes(firings_.times(), {2.0, 2.5});
}

TEST_F(QNVClockTest, RemovedObserversNeverFireAgainInAnyState) {
  auto running = add(0.1, false, true);
  auto suspended = add(0.1, false, false);
  auto fireOnce = add(0.5, true, true);
  onStateQueue([&] {
    clock_->suspendTimeObserver(suspended);
    clock_->resume();
  });
  advance(0.05);
  const size_t before = firings_.times().size();  // the wall-clock one's first firing at most
  onStateQueue([&] {
    clock_->removeTimeObserver(running);
    clock_->removeTimeObserver(suspended);
    EXPECT_EQ(clock_->observers().size(), 1U);
    clock_->removeAllTimeObservers();
    EXPECT_TRUE(clock_->observers().empty());
  });
  advance(2);
  EXPECT_EQ(firings_.times().size(), before);
  EXPECT_EQ(running.use_count(), 1) << "the clock let go of the observer";
  EXPECT_EQ(fireOnce.use_count(), 1);
}

TEST_F(QNVClockTest, FireOnceObserverWithoutANumericTimeIsNotKept) {
  testing::QNVExpectedSoftAssertions expected;
  onStateQueue([&] {
    auto observer = clock_->createTimeObserverWithInterval(MediaTime::indefinite(), firings_.block(), true, true);
    EXPECT_FALSE(clock_->addTimeObserver(observer));
    EXPECT_TRUE(clock_->observers().empty());
    clock_->resume();
  });
  advance(10);
  EXPECT_TRUE(firings_.times().empty());
  EXPECT_EQ(expected.reasons(), std::vector<std::string>{"a time observer's interval is a number"});
}

class RecordingDisplayEngine final : public QNVPlayerDisplayEngine {
  // Only the timebase matters to the clock.
  void setPlayerLayerDelegate(std::weak_ptr<QNVPlayerDisplayEngineDelegate>) override {}
  bool flushIfError() override { return false; }
  int64_t status() const override { return 0; }
  std::optional<platform::Error> error() const override { return std::nullopt; }
  void setRenderer(std::shared_ptr<QNVPlayerRenderer>) override {}
  void setPreferredTransform(const platform::AffineTransform&) override {}
  void resume() override {}
  void pause(int32_t) override {}
  void pauseDisplayLink() override {}
  void flush() override {}
  void flushAndRemoveImage() override {}
  bool flushDisplayReadySampleBuffers() override { return false; }
  bool isReadyForMoreMediaData() const override { return false; }
  void requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr, std::function<void()>) override {}
  void stopRequestingMediaData() override {}
  void enqueueSampleBuffer(const platform::SampleBuffer&, uint32_t) override {}
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer>, MediaTime, MediaTime) override {}


 public:
  void setControlTimebase(std::shared_ptr<platform::Timebase> controlTimebase) override {
    timebase = std::move(controlTimebase);
  }
  std::shared_ptr<platform::Timebase> timebase;
};

TEST_F(QNVClockTest, LayerSeesTheClocksTime) {
  RecordingDisplayEngine layer;
  clock_->syncWithLayer(layer);
  ASSERT_NE(layer.timebase, nullptr);
  onStateQueue([&] { clock_->resume(); });
  advance(0.75);
  EXPECT_EQ(layer.timebase->time(), clock_->currentTime());
  EXPECT_NEAR(layer.timebase->time().seconds(), 0.75, 1e-9);
}

class QNVRealTimerTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> manualClock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{manualClock_};
  std::atomic<int> ticks_{0};
  QNVRealTimerManager manager_;

  void advance(double seconds) { advanceAndSettle(*manualClock_, seconds); }

  std::shared_ptr<QNVTimer> make(double interval, bool fireOnce) {
    return manager_.createTimerWithInterval(static_cast<uint64_t>(interval * 1e9), fireOnce, QNVMediaStateQueue(),
                                            [this] { ++ticks_; });
  }
};

TEST_F(QNVRealTimerTest, FireOnceTicksOnceOneIntervalAfterCreation) {
  auto timer = make(0.2, true);
  timer->resume();
  advance(0.19);
  EXPECT_EQ(ticks_, 0);
  advance(5);
  EXPECT_EQ(ticks_, 1);
}

TEST_F(QNVRealTimerTest, RepeatingTimerPausesAndResumes) {
  auto timer = make(0.2, false);
  timer->resume();
  advance(1.05);
  EXPECT_EQ(ticks_, 5);
  timer->pause();
  advance(1.05);
  EXPECT_EQ(ticks_, 5);
  timer->resume();  // the tick held back while paused
  advance(0.05);
  EXPECT_EQ(ticks_, 6);
}

TEST_F(QNVRealTimerTest, ReleasedInAnyStateTheTimerNeverTicksAgain) {
  auto neverResumed = make(0.2, false);
  auto paused = make(0.2, false);
  auto running = make(0.2, false);
  paused->resume();
  paused->pause();
  running->resume();
  neverResumed.reset();
  paused.reset();
  running.reset();
  advance(2);
  EXPECT_EQ(ticks_, 0);
}

}  // namespace
}  // namespace plexora

#include "platform/dispatch/DispatchSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;

// A clock whose wakeups fire only when the test says so, without settling the
// queues, so a test can leave a tick queued and act before it runs.
class SteppedClock final : public Clock {
 public:
  double wallTime() const override { return monotonicTime(); }
  double monotonicTime() const override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) override {
    std::lock_guard lock(mutex_);
    WakeupId id = nextId_++;
    wakeups_.emplace(id, std::make_pair(deadline, std::move(wakeup)));
    return id;
  }
  void cancelWakeup(WakeupId id) override {
    std::lock_guard lock(mutex_);
    wakeups_.erase(id);
  }
  // Moves to the earliest wakeup's deadline and runs it; false if none.
  bool fireNext() {
    std::function<void()> wakeup;
    {
      std::lock_guard lock(mutex_);
      if (wakeups_.empty()) {
        return false;
      }
      auto earliest = wakeups_.begin();
      for (auto it = wakeups_.begin(); it != wakeups_.end(); ++it) {
        if (it->second.first < earliest->second.first) {
          earliest = it;
        }
      }
      now_ = std::max(now_, earliest->second.first);
      wakeup = std::move(earliest->second.second);
      wakeups_.erase(earliest);
    }
    wakeup();
    return true;
  }

 private:
  mutable std::mutex mutex_;
  double now_ = 0.0;
  WakeupId nextId_ = 1;
  std::map<WakeupId, std::pair<double, std::function<void()>>> wakeups_;
};

class DispatchTimerSourceTest : public DispatchTest {
 protected:
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>(1.7e9, 0.0);
  ScopedClock scopedClock_{clock_};
};

TEST_F(DispatchTimerSourceTest, RepeatingTimerTicksAtEveryIntervalWithoutDrift) {
  auto queue = DispatchQueue::createSerial("ticks");
  std::vector<double> ticks;  // Touched by the queue; read after settling.
  auto timer = DispatchTimerSource::create(queue);
  timer->setEventHandler([&] { ticks.push_back(clock_->monotonicTime()); });
  timer->setTimer(300.0, 300.0, 0.1);
  timer->resume();

  clock_->advance(600.0);
  EXPECT_EQ(ticks, (std::vector<double>{300.0, 600.0}));
  clock_->advance(299.0);
  EXPECT_EQ(ticks.size(), 2u);
  clock_->advance(1.0);
  EXPECT_EQ(ticks, (std::vector<double>{300.0, 600.0, 900.0}));
  timer->cancel();
}

TEST_F(DispatchTimerSourceTest, TicksInterleaveWithDelayedBlocksOnOtherQueuesInTimeOrder) {
  auto timerQueue = DispatchQueue::createSerial("timer");
  auto otherQueue = DispatchQueue::createSerial("other");
  std::mutex mutex;
  std::vector<std::pair<std::string, double>> events;
  auto record = [&](std::string what) {
    std::lock_guard lock(mutex);
    events.emplace_back(std::move(what), clock_->monotonicTime());
  };
  auto timer = DispatchTimerSource::create(timerQueue);
  timer->setEventHandler([&] { record("tick"); });
  timer->setTimer(100.0, 100.0, 0.0);
  timer->resume();
  otherQueue->after(150.0, [&] { record("other"); });
  DispatchQueue::main()->after(250.0, [&] { record("main"); });
  DispatchQueue::global()->after(300.0, [&] { record("global"); });

  clock_->advance(300.0);

  std::vector<std::pair<std::string, double>> expected{
      {"tick", 100.0}, {"other", 150.0}, {"tick", 200.0}, {"main", 250.0},
      // Same deadline: the block was scheduled before that tick was.
      {"global", 300.0}, {"tick", 300.0}};
  EXPECT_EQ(events, expected);
  timer->cancel();
}

TEST_F(DispatchTimerSourceTest, OneShotTimerTicksOnceAndNothingTicksBeforeResume) {
  int ticks = 0;
  auto timer = DispatchTimerSource::create(DispatchQueue::main());
  timer->setEventHandler([&] { ++ticks; });
  timer->setTimer(10.0, 0.0, 0.0);
  clock_->advance(50.0);
  EXPECT_EQ(ticks, 0);

  timer->resume();  // Due 10 s from now.
  clock_->advance(9.0);
  EXPECT_EQ(ticks, 0);
  clock_->advance(1000.0);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(clock_->pendingWakeups(), 0u);
  EXPECT_FALSE(timer->isCancelled());
}

TEST_F(DispatchTimerSourceTest, SettingTheTimerAgainReplacesTheSchedule) {
  std::vector<double> ticks;
  auto timer = DispatchTimerSource::create(DispatchQueue::main());
  timer->setEventHandler([&] { ticks.push_back(clock_->monotonicTime()); });
  timer->setTimer(100.0, 100.0, 0.0);
  timer->resume();
  clock_->advance(50.0);
  timer->setTimer(20.0, 0.0, 0.0);
  clock_->advance(500.0);
  EXPECT_EQ(ticks, (std::vector<double>{70.0}));
  EXPECT_EQ(clock_->pendingWakeups(), 0u);
}

TEST_F(DispatchTimerSourceTest, DroppingTheLastReferenceStopsTheTimer) {
  int ticks = 0;
  auto timer = DispatchTimerSource::create(DispatchQueue::main());
  timer->setEventHandler([&] { ++ticks; });
  timer->setTimer(1.0, 1.0, 0.0);
  timer->resume();
  clock_->advance(2.0);
  ASSERT_EQ(ticks, 2);

  timer.reset();
  EXPECT_EQ(clock_->pendingWakeups(), 0u);
  clock_->advance(10.0);
  EXPECT_EQ(ticks, 2);
}

TEST_F(DispatchTimerSourceTest, AHandlerMayCancelItsOwnSourceAndReleaseIt) {
  // The handler holds the source (a cycle that cancel() breaks); the leak
  // checker fails the test if it is not broken.
  int ticks = 0;
  auto timer = DispatchTimerSource::create(DispatchQueue::main());
  timer->setEventHandler([&ticks, timer] {
    if (++ticks == 3) {
      timer->cancel();
    }
  });
  timer->setTimer(1.0, 1.0, 0.0);
  timer->resume();
  std::weak_ptr<DispatchTimerSource> watched = timer;
  timer.reset();

  clock_->advance(10.0);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(watched.expired());
}

TEST(DispatchTimerSourceQueuedTickTest, ATickQueuedBeforeCancelDoesNothing) {
  ASSERT_TRUE(DispatchQueue::settle());
  auto clock = std::make_shared<SteppedClock>();
  ScopedClock scoped(clock);
  int ticks = 0;

  auto cancelled = DispatchTimerSource::create(DispatchQueue::main());
  cancelled->setEventHandler([&] { ++ticks; });
  cancelled->setTimer(1.0, 1.0, 0.0);
  cancelled->resume();
  ASSERT_TRUE(clock->fireNext());  // The tick now waits on the main queue.
  cancelled->cancel();
  EXPECT_TRUE(cancelled->isCancelled());

  auto dropped = DispatchTimerSource::create(DispatchQueue::main());
  dropped->setEventHandler([&] { ++ticks; });
  dropped->setTimer(1.0, 0.0, 0.0);
  dropped->resume();
  ASSERT_TRUE(clock->fireNext());
  dropped.reset();

  EXPECT_EQ(MainLoop::instance().runOnce(), 2);  // Both queued ticks ran...
  EXPECT_EQ(ticks, 0);                           // ...and did nothing.
  EXPECT_FALSE(clock->fireNext());               // No further wakeups either.
}

TEST(DispatchTimerSourceCancelTest, CancelReturnsOnlyOnceARunningHandlerHasEnded) {
  ASSERT_TRUE(DispatchQueue::settle());
  DispatchSemaphore started;
  DispatchSemaphore release;
  std::atomic<bool> handlerEnded{false};
  auto timer = DispatchTimerSource::create(DispatchQueue::createSerial("ticking"));
  timer->setEventHandler([&] {
    started.signal();
    release.wait(testing::kGenerousWaitSeconds);
    handlerEnded = true;
  });
  timer->setTimer(0.0, 0.0, 0.0);
  timer->resume();
  ASSERT_TRUE(started.wait(testing::kGenerousWaitSeconds));

  std::atomic<bool> endedWhenCancelReturned{false};
  std::thread canceller([&] {
    timer->cancel();
    endedWhenCancelReturned = handlerEnded.load();
  });
  // Gives cancel() the time to return early, were it to.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  release.signal();
  canceller.join();
  EXPECT_TRUE(endedWhenCancelReturned);
  EXPECT_TRUE(DispatchQueue::settle());
}

TEST(DispatchTimerSourceCancelTest, AHandlerCancellingItsSourceOnAWorkerDoesNotWaitForItself) {
  ASSERT_TRUE(DispatchQueue::settle());
  DispatchSemaphore cancelled;
  auto timer = DispatchTimerSource::create(DispatchQueue::global());
  std::weak_ptr<DispatchTimerSource> weakTimer = timer;
  timer->setEventHandler([&cancelled, weakTimer] {
    if (const auto self = weakTimer.lock()) {
      self->cancel();
    }
    cancelled.signal();
  });
  timer->setTimer(0.0, 0.0, 0.0);
  timer->resume();
  EXPECT_TRUE(cancelled.wait(testing::kGenerousWaitSeconds));
  EXPECT_TRUE(timer->isCancelled());
  EXPECT_TRUE(DispatchQueue::settle());
}

}  // namespace
}  // namespace plexora::platform

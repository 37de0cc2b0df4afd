#include "platform/dispatch/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/DispatchTest.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using ManualClockTest = DispatchTest;

TEST_F(ManualClockTest, FiresDueWakeupsInDeadlineOrderAtTheirDeadlines) {
  ManualClock clock(1.7e9, 1000.0);
  std::vector<std::pair<std::string, double>> fired;
  auto record = [&](std::string name) {
    return [&, name] { fired.emplace_back(name, clock.monotonicTime()); };
  };
  clock.scheduleWakeup(1030.0, record("c"));
  clock.scheduleWakeup(1010.0, record("a"));
  clock.scheduleWakeup(1020.0, record("b1"));
  clock.scheduleWakeup(1020.0, record("b2"));  // A tie fires in scheduling order.
  clock.scheduleWakeup(1100.0, record("later"));

  clock.advance(30.0);

  std::vector<std::pair<std::string, double>> expected{{"a", 1010.0}, {"b1", 1020.0}, {"b2", 1020.0}, {"c", 1030.0}};
  EXPECT_EQ(fired, expected);
  EXPECT_EQ(clock.monotonicTime(), 1030.0);
  EXPECT_EQ(clock.wallTime(), 1.7e9 + 30.0);
  EXPECT_EQ(clock.pendingWakeups(), 1u);
}

TEST_F(ManualClockTest, WakeupsScheduledWhileAdvancingFireWhenInsideTheSpan) {
  ManualClock clock(0.0, 0.0);
  std::vector<double> fired;
  std::function<void()> chain = [&] {
    fired.push_back(clock.monotonicTime());
    clock.scheduleWakeup(clock.monotonicTime() + 4.0, chain);
  };
  clock.scheduleWakeup(4.0, chain);

  clock.advance(10.0);

  EXPECT_EQ(fired, (std::vector<double>{4.0, 8.0}));
  EXPECT_EQ(clock.monotonicTime(), 10.0);
  EXPECT_EQ(clock.pendingWakeups(), 1u);  // The one due at 12.
}

TEST_F(ManualClockTest, CancelledWakeupsNeverFireAndOverdueOnesFireWithoutTurningBack) {
  ManualClock clock(0.0, 50.0);
  int cancelledRuns = 0;
  double overdueSeenAt = -1;
  Clock::WakeupId cancelled = clock.scheduleWakeup(51.0, [&] { ++cancelledRuns; });
  clock.scheduleWakeup(10.0, [&] { overdueSeenAt = clock.monotonicTime(); });
  clock.cancelWakeup(cancelled);
  clock.cancelWakeup(cancelled);  // Twice is harmless.
  clock.cancelWakeup(9999);

  clock.advance(0.0);
  EXPECT_EQ(overdueSeenAt, 50.0);
  clock.advance(5.0);
  EXPECT_EQ(cancelledRuns, 0);
  clock.advance(-3.0);  // Time never goes backwards.
  EXPECT_EQ(clock.monotonicTime(), 55.0);
}

TEST_F(ManualClockTest, NanTimesNeitherDisorderWakeupsNorMoveTheClock) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto clock = std::make_shared<ManualClock>(0.0, 100.0);
  ScopedClock scoped(clock);
  std::vector<std::string> fired;
  clock->scheduleWakeup(150.0, [&] { fired.push_back("future"); });
  clock->scheduleWakeup(nan, [&] { fired.push_back("nan deadline"); });
  DispatchQueue::main()->after(nan, [&] { fired.push_back("nan delay"); });

  clock->advance(nan);
  EXPECT_EQ(fired, (std::vector<std::string>{"nan deadline", "nan delay"}));
  EXPECT_EQ(clock->monotonicTime(), 100.0);
  clock->advance(50.0);
  EXPECT_EQ(fired.back(), "future");
}

TEST_F(ManualClockTest, AfterRunsTheBlockOnItsQueueOnlyOnceTimeHasPassed) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClock scoped(clock);
  auto queue = DispatchQueue::createSerial("after");
  std::atomic<bool> ran{false};
  double ranAt = 0;
  std::shared_ptr<DispatchQueue> ranOn;
  queue->after(2.5, [&] {
    ranAt = clock->monotonicTime();
    ranOn = DispatchQueue::current();
    ran = true;
  });

  clock->advance(2.0);
  EXPECT_FALSE(ran);
  clock->advance(0.5);  // advance() settles, so the block has run on return.
  EXPECT_TRUE(ran);
  EXPECT_EQ(ranAt, 1002.5);
  EXPECT_EQ(ranOn, queue);
}

TEST_F(ManualClockTest, MainQueueBlocksRunWhileAdvancingOnTheMainThread) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClock scoped(clock);
  std::vector<std::string> order;
  DispatchQueue::main()->after(1.0, [&] {
    order.push_back("first");
    DispatchQueue::main()->after(1.0, [&] { order.push_back("second"); });
  });
  clock->advance(2.0);
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
}

TEST(ScopedClockTest, InstallsAClockForTheScopeAndRestoresThePreviousOne) {
  auto before = Clock::current();
  ASSERT_NE(before, nullptr);
  {
    auto manual = std::make_shared<ManualClock>(5.0, 7.0);
    ScopedClock scoped(manual);
    EXPECT_EQ(Clock::current(), manual);
    EXPECT_EQ(Clock::current()->timeSinceReferenceDate(), 5.0 - kSecondsFrom1970To2001);
  }
  EXPECT_EQ(Clock::current(), before);
}

TEST(SystemClockTest, ReadsTheSystemTimesAndFiresWakeupsSoonAfterTheirDeadline) {
  SystemClock clock;
  EXPECT_GT(clock.wallTime(), 1.6e9);
  double start = clock.monotonicTime();
  EXPECT_LE(start, clock.monotonicTime());

  DispatchSemaphore fired;
  std::atomic<int> cancelledRuns{0};
  std::atomic<double> firedAt{0.0};
  Clock::WakeupId cancelled = clock.scheduleWakeup(start + 0.01, [&] { cancelledRuns.fetch_add(1); });
  clock.scheduleWakeup(start + 0.02, [&] {
    firedAt = clock.monotonicTime();
    fired.signal();
  });
  clock.cancelWakeup(cancelled);

  ASSERT_TRUE(fired.wait(kGenerousWaitSeconds));
  EXPECT_GE(firedAt.load(), start + 0.02);
  EXPECT_EQ(cancelledRuns, 0);
}

TEST(SystemClockTest, DropsPendingWakeupsWhenDestroyed) {
  std::atomic<int> runs{0};
  {
    SystemClock clock;
    clock.scheduleWakeup(clock.monotonicTime() + 3600.0, [&] { runs.fetch_add(1); });
  }  // Must join promptly, not wait an hour.
  EXPECT_EQ(runs, 0);
}

TEST(SystemClockTest, MayBeReleasedFromInsideItsOwnWakeup) {
  DispatchSemaphore fired;
  {
    auto clock = std::make_shared<SystemClock>();
    // The wakeup holds the only reference once this scope ends, so the clock
    // is destroyed on its own wakeup thread.
    clock->scheduleWakeup(clock->monotonicTime(), [clock, &fired] {
      fired.signal();
    });
  }
  EXPECT_TRUE(fired.wait(kGenerousWaitSeconds));
}

}  // namespace
}  // namespace plexora::platform

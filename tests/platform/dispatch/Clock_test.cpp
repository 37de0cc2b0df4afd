#include "platform/dispatch/Clock.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"
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

// CPU time, in clock ticks, that the process's clock threads have used.
long clockThreadTicks() {
  long ticks = 0;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) {
    return 0;
  }
  while (const dirent* task = ::readdir(tasks)) {
    const std::string directory = std::string("/proc/self/task/") + task->d_name;
    std::string name;
    std::getline(std::ifstream(directory + "/comm"), name);
    if (name != "plexora.clock") {
      continue;
    }
    std::string stat;
    std::getline(std::ifstream(directory + "/stat"), stat);
    // Fields after the parenthesised name: state is the 3rd, utime the
    // 14th and stime the 15th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long user = 0;
    long system = 0;
    for (int index = 3; fields >> field; ++index) {
      if (index == 14) user = std::stol(field);
      if (index == 15) system = std::stol(field);
    }
    ticks += user + system;
  }
  ::closedir(tasks);
  return ticks;
}

TEST(SystemClockTest, FarAndInfiniteDeadlinesNeitherOverflowNorSpinAndLeaveOthersOnTime) {
  SystemClock clock;
  const double now = clock.monotonicTime();
  // Beyond what 64-bit nanoseconds can hold, and infinity itself.
  for (double deadline : {now + 1.0e10, now + 1.0e300, std::numeric_limits<double>::infinity()}) {
    clock.scheduleWakeup(deadline, [] { ADD_FAILURE() << "a far-future wakeup fired"; });
  }
  DispatchSemaphore fired;
  std::atomic<double> firedAt{0.0};
  clock.scheduleWakeup(now + 0.05, [&] {
    firedAt = clock.monotonicTime();
    fired.signal();
  });
  ASSERT_TRUE(fired.wait(kGenerousWaitSeconds));
  EXPECT_LT(firedAt.load(), now + 2.0) << "a near wakeup waited behind the far ones";

  // With only far wakeups left, the clock thread sleeps.
  const long before = clockThreadTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(clockThreadTicks() - before, 3) << "the clock thread spins";
}

// A manual clock that notes every deadline it is handed.
class DeadlineRecordingClock final : public Clock {
 public:
  double wallTime() const override { return inner_.wallTime(); }
  double monotonicTime() const override { return inner_.monotonicTime(); }
  WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) override {
    {
      std::lock_guard lock(mutex_);
      deadlines_.push_back(deadline);
    }
    return inner_.scheduleWakeup(deadline, std::move(wakeup));
  }
  void cancelWakeup(WakeupId id) override { inner_.cancelWakeup(id); }
  void advance(double seconds) { inner_.advance(seconds); }
  std::vector<double> deadlines() const {
    std::lock_guard lock(mutex_);
    return deadlines_;
  }

 private:
  ManualClock inner_;
  mutable std::mutex mutex_;
  std::vector<double> deadlines_;
};

TEST_F(ManualClockTest, InfiniteAndAbsurdDelaysOfQueuesAndTimersBecomeFiniteFarDeadlines) {
  auto clock = std::make_shared<DeadlineRecordingClock>();
  ScopedClock scoped(clock);
  const double infinity = std::numeric_limits<double>::infinity();
  int farRuns = 0;
  DispatchQueue::main()->after(infinity, [&] { ++farRuns; });
  DispatchQueue::main()->after(1.0e300, [&] { ++farRuns; });
  auto far = DispatchTimerSource::create(DispatchQueue::main());
  far->setEventHandler([&] { ++farRuns; });
  far->setTimer(infinity, infinity, 0.0);
  far->resume();
  // Due at once, then only in the far future.
  int onceRuns = 0;
  auto once = DispatchTimerSource::create(DispatchQueue::main());
  once->setEventHandler([&] { ++onceRuns; });
  once->setTimer(0.0, infinity, 0.0);
  once->resume();

  clock->advance(3600.0);
  EXPECT_EQ(farRuns, 0);
  EXPECT_EQ(onceRuns, 1);
  const std::vector<double> deadlines = clock->deadlines();
  ASSERT_EQ(deadlines.size(), 5u) << "four schedules and the one-shot's next tick";
  for (double deadline : deadlines) {
    EXPECT_TRUE(std::isfinite(deadline)) << deadline;
  }
  far->cancel();
  once->cancel();
}

}  // namespace
}  // namespace plexora::platform

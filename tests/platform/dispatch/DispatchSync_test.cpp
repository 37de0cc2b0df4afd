#include "platform/dispatch/DispatchSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using DispatchGroupTest = DispatchTest;

TEST_F(DispatchGroupTest, NotifiesOnItsQueueOnceEveryTaskHasLeft) {
  DispatchGroup group;
  auto serial = DispatchQueue::createSerial("group");
  std::atomic<int> done{0};
  int doneAtNotify = -1;
  for (int i = 0; i < 10; ++i) {
    group.async(i % 2 ? serial : DispatchQueue::global(), [&] { done.fetch_add(1); });
  }
  group.enter();  // Work tracked by hand as well.
  std::thread manual([&] {
    done.fetch_add(1);
    group.leave();
  });
  bool notifiedOnMain = false;
  group.notify(DispatchQueue::main(), [&] {
    doneAtNotify = done;
    notifiedOnMain = DispatchQueue::isMainThread();
  });

  EXPECT_TRUE(group.wait(kGenerousWaitSeconds));
  manual.join();
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(doneAtNotify, 11);
  EXPECT_TRUE(notifiedOnMain);
}

TEST_F(DispatchGroupTest, NotifyOnAnEmptyGroupRunsAtOnceAndWaitReturns) {
  DispatchGroup group;
  EXPECT_TRUE(group.wait(0.0));
  bool notified = false;
  group.notify(DispatchQueue::main(), [&] { notified = true; });
  EXPECT_EQ(MainLoop::instance().runOnce(), 1);
  EXPECT_TRUE(notified);
}

TEST_F(DispatchGroupTest, WaitTimesOutWhileMembersRemainAndLeaveMustBalanceEnter) {
  DispatchGroup group;
  group.enter();
  EXPECT_FALSE(group.wait(0.01));
  group.leave();
  EXPECT_TRUE(group.wait(0.0));
  EXPECT_THROW(group.leave(), std::logic_error);
  // The failed leave must not have unbalanced the count.
  group.enter();
  EXPECT_FALSE(group.wait(0.0));
  group.leave();
}

TEST_F(DispatchGroupTest, TasksMayOutliveTheGroupObject) {
  auto queue = DispatchQueue::createSerial("late");
  DispatchSemaphore gate;
  std::atomic<bool> ran{false};
  std::atomic<bool> notified{false};
  queue->async([&] { gate.wait(); });
  {
    DispatchGroup group;
    group.async(queue, [&] { ran = true; });
    group.notify(queue, [&] { notified = true; });
  }
  gate.signal();
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(notified);
}

TEST(DispatchSemaphoreTest, CountsSignalsAndTimesOut) {
  DispatchSemaphore semaphore(2);
  EXPECT_TRUE(semaphore.wait(0.0));
  EXPECT_TRUE(semaphore.wait(0.0));
  EXPECT_FALSE(semaphore.wait(0.01));
  semaphore.signal();
  EXPECT_TRUE(semaphore.wait(-1.0));
}

TEST(DispatchSemaphoreTest, HandsOffBetweenThreads) {
  DispatchSemaphore ping;
  DispatchSemaphore pong;
  int rounds = 0;
  std::thread other([&] {
    for (int i = 0; i < 100; ++i) {
      ping.wait();
      pong.signal();
    }
  });
  for (int i = 0; i < 100; ++i) {
    ping.signal();
    if (pong.wait(kGenerousWaitSeconds)) {
      ++rounds;
    }
  }
  other.join();
  EXPECT_EQ(rounds, 100);
}

TEST(DispatchOnceTest, RunsOnceAndLateCallersWaitForTheFirstRun) {
  OnceFlag flag;
  std::atomic<int> runs{0};
  std::atomic<bool> initialised{false};
  std::atomic<int> sawUninitialised{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) {
    callers.emplace_back([&] {
      dispatchOnce(flag, [&] {
        runs.fetch_add(1);
        std::this_thread::yield();
        initialised = true;
      });
      if (!initialised) {
        sawUninitialised.fetch_add(1);
      }
    });
  }
  for (auto& caller : callers) {
    caller.join();
  }
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sawUninitialised, 0);
}

}  // namespace
}  // namespace plexora::platform

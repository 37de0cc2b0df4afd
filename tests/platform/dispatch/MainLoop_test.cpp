#include "platform/dispatch/MainLoop.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchTest.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using MainLoopTest = DispatchTest;

bool isReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST_F(MainLoopTest, RunOnceRunsOnlyTheTasksQueuedWhenItStarted) {
  auto& loop = MainLoop::instance();
  std::vector<std::string> order;
  DispatchQueue::main()->async([&] {
    order.push_back("a");
    DispatchQueue::main()->async([&] { order.push_back("c"); });
  });
  DispatchQueue::main()->async([&] { order.push_back("b"); });

  EXPECT_EQ(loop.runOnce(), 2);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(loop.runOnce(), 1);
  EXPECT_EQ(loop.runOnce(), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(MainLoopTest, ANestedRunKeepsTheMainQueueInOrder) {
  auto& loop = MainLoop::instance();
  std::vector<std::string> order;
  DispatchQueue::main()->async([&] {
    order.push_back("outer");
    loop.runOnce();
  });
  DispatchQueue::main()->async([&] { order.push_back("second"); });
  DispatchQueue::main()->async([&] { order.push_back("third"); });
  loop.runOnce();
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "second", "third"}));
}

TEST_F(MainLoopTest, WakeupFdIsReadableExactlyWhileTasksWait) {
  auto& loop = MainLoop::instance();
  int fd = loop.wakeupFd();
  EXPECT_FALSE(isReadable(fd));
  DispatchQueue::main()->async([] {});
  DispatchQueue::main()->async([] {});
  EXPECT_TRUE(isReadable(fd));
  loop.runOnce();
  EXPECT_FALSE(isReadable(fd));

  // Readable again when a task queues another while running.
  DispatchQueue::main()->async([] { DispatchQueue::main()->async([] {}); });
  loop.runOnce();
  EXPECT_TRUE(isReadable(fd));
  loop.runOnce();
  EXPECT_FALSE(isReadable(fd));
}

TEST_F(MainLoopTest, RunOnceWaitsForATaskFromAnotherThread) {
  std::atomic<bool> ran{false};
  std::thread poster([&] { DispatchQueue::main()->async([&] { ran = true; }); });
  int total = 0;
  while (!ran && total == 0) {
    total += MainLoop::instance().runOnce(kGenerousWaitSeconds);
  }
  poster.join();
  EXPECT_EQ(total, 1);
  EXPECT_TRUE(ran);
}

TEST_F(MainLoopTest, RunUntilAnswersWhetherTheConditionCameTrue) {
  auto& loop = MainLoop::instance();
  EXPECT_FALSE(loop.runUntil([] { return false; }, 0.02));

  std::atomic<bool> flag{false};
  DispatchQueue::global()->async([&] { flag = true; });  // Never touches main.
  EXPECT_TRUE(loop.runUntil([&] { return flag.load(); }, kGenerousWaitSeconds));
}

TEST_F(MainLoopTest, RunReturnsAfterQuitFromAnyThread) {
  auto& loop = MainLoop::instance();
  DispatchQueue::global()->async([&] { loop.quit(); });
  loop.run();

  bool ranBeforeQuit = false;
  DispatchQueue::main()->async([&] {
    ranBeforeQuit = true;
    loop.quit();
  });
  loop.run();
  EXPECT_TRUE(ranBeforeQuit);
}

TEST_F(MainLoopTest, RunningOffTheMainThreadThrows) {
  int refusals = 0;
  std::thread other([&] {
    auto& loop = MainLoop::instance();
    try {
      loop.runOnce();
    } catch (const std::logic_error&) {
      ++refusals;
    }
    try {
      loop.runUntil([] { return true; });
    } catch (const std::logic_error&) {
      ++refusals;
    }
    try {
      loop.run();
    } catch (const std::logic_error&) {
      ++refusals;
    }
  });
  other.join();
  EXPECT_EQ(refusals, 3);
}

}  // namespace
}  // namespace plexora::platform

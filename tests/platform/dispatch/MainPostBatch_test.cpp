#include "platform/dispatch/MainPostBatch.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using MainPostBatchTest = DispatchTest;

bool mainLoopWoken() {
  pollfd entry{MainLoop::instance().wakeupFd(), POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

// The order in which main-queue tasks ran, as the main thread saw it.
class Order {
 public:
  Task adding(std::string name) {
    return [this, name = std::move(name)] {
      std::lock_guard lock(mutex_);
      names_.push_back(name);
    };
  }
  std::vector<std::string> names() const {
    std::lock_guard lock(mutex_);
    return names_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> names_;
};

TEST_F(MainPostBatchTest, HeldTasksReachTheMainQueueTogetherWhenTheBatchEnds) {
  Order order;
  std::atomic<bool> wokenWhileOpen{false};
  std::thread poster([&] {
    {
      const MainPostBatch batch;
      DispatchQueue::main()->async(order.adding("a"));
      {
        // An inner batch ending posts nothing: the outer one holds all.
        const MainPostBatch inner;
        DispatchQueue::main()->async(order.adding("b"));
      }
      wokenWhileOpen = mainLoopWoken();
    }
    DispatchQueue::main()->async(order.adding("after"));
  });
  poster.join();

  EXPECT_FALSE(wokenWhileOpen);
  EXPECT_EQ(MainLoop::instance().runOnce(), 3);
  EXPECT_EQ(order.names(), (std::vector<std::string>{"a", "b", "after"}));
}

TEST_F(MainPostBatchTest, OtherThreadsPostAtOnce) {
  Order order;
  std::thread poster([&] {
    const MainPostBatch batch;
    std::thread([&] { DispatchQueue::main()->async(order.adding("other")); }).join();
    EXPECT_TRUE(mainLoopWoken());
  });
  poster.join();
  MainLoop::instance().runOnce();
  EXPECT_EQ(order.names(), (std::vector<std::string>{"other"}));
}

TEST_F(MainPostBatchTest, SyncInsideABatchRunsAfterTheHeldTasksWithoutWaitingForTheBatch) {
  Order order;
  std::atomic<bool> synced{false};
  std::thread poster([&] {
    const MainPostBatch batch;
    DispatchQueue::main()->async(order.adding("held"));
    DispatchQueue::main()->sync(order.adding("sync"));
    synced = true;
    DispatchQueue::main()->async(order.adding("held after sync"));
  });
  EXPECT_TRUE(MainLoop::instance().runUntil([&] { return synced.load(); }, kGenerousWaitSeconds));
  poster.join();
  MainLoop::instance().runOnce();
  EXPECT_EQ(order.names(), (std::vector<std::string>{"held", "sync", "held after sync"}));
}

}  // namespace
}  // namespace plexora::platform

#include "platform/dispatch/DispatchQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using DispatchQueueTest = DispatchTest;

TEST_F(DispatchQueueTest, SerialQueueKeepsEachProducersOrderAndRunsOneTaskAtATime) {
  constexpr int kProducers = 8;
  constexpr int kTasksEach = 400;
  auto queue = DispatchQueue::createSerial("fifo");
  std::vector<std::vector<int>> seen(kProducers);  // Touched only by the queue.
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};

  std::vector<std::thread> producers;
  for (int producer = 0; producer < kProducers; ++producer) {
    producers.emplace_back([&, producer] {
      for (int i = 0; i < kTasksEach; ++i) {
        queue->async([&, producer, i] {
          if (running.fetch_add(1) != 0) {
            overlapped = true;
          }
          seen[producer].push_back(i);
          running.fetch_sub(1);
        });
      }
    });
  }
  for (auto& producer : producers) {
    producer.join();
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));

  EXPECT_FALSE(overlapped);
  std::vector<int> expected(kTasksEach);
  for (int i = 0; i < kTasksEach; ++i) {
    expected[i] = i;
  }
  for (const auto& order : seen) {
    EXPECT_EQ(order, expected);
  }
}

TEST_F(DispatchQueueTest, GlobalQueueRunsTasksInParallelBeyondTheResidentWorkers) {
  // Every task waits until all have started, which only works if the pool
  // grows to run them at once.
  constexpr int kTasks = 20;
  DispatchSemaphore arrived;
  DispatchSemaphore go;
  for (int i = 0; i < kTasks; ++i) {
    DispatchQueue::global()->async([&] {
      arrived.signal();
      go.wait();
    });
  }
  int arrivals = 0;
  while (arrivals < kTasks && arrived.wait(kGenerousWaitSeconds)) {
    ++arrivals;
  }
  for (int i = 0; i < kTasks; ++i) {
    go.signal();
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));  // Before the semaphores go.
  EXPECT_EQ(arrivals, kTasks);
}

TEST_F(DispatchQueueTest, PriorityQueuesAreDistinctConcurrentQueues) {
  auto background = DispatchQueue::global(QueuePriority::Background);
  auto low = DispatchQueue::global(QueuePriority::Low);
  auto normal = DispatchQueue::global(QueuePriority::Default);
  auto high = DispatchQueue::global(QueuePriority::High);
  EXPECT_NE(background, low);
  EXPECT_NE(low, normal);
  EXPECT_NE(normal, high);
  EXPECT_EQ(normal, DispatchQueue::global());
  EXPECT_EQ(high->kind(), DispatchQueue::Kind::Concurrent);
  EXPECT_EQ(DispatchQueue::main()->kind(), DispatchQueue::Kind::Main);
  EXPECT_EQ(DispatchQueue::createSerial("s")->kind(), DispatchQueue::Kind::Serial);
  EXPECT_EQ(DispatchQueue::createSerial("label")->label(), "label");
}

TEST_F(DispatchQueueTest, SyncOntoTheQueueItRunsOnRunsInline) {
  auto queue = DispatchQueue::createSerial("self");
  std::atomic<bool> inner{false};
  std::atomic<bool> sawCurrent{false};
  queue->async([&] {
    queue->sync([&] {
      sawCurrent = queue->isCurrent() && DispatchQueue::current() == queue;
      inner = true;
    });
  });
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(inner);
  EXPECT_TRUE(sawCurrent);
}

TEST_F(DispatchQueueTest, NestedSyncKeepsEveryHeldQueueCurrent) {
  auto outer = DispatchQueue::createSerial("outer");
  auto inner = DispatchQueue::createSerial("inner");
  bool reachedInnermost = false;
  outer->sync([&] {
    EXPECT_EQ(DispatchQueue::current(), outer);
    inner->sync([&] {
      EXPECT_EQ(DispatchQueue::current(), inner);
      EXPECT_TRUE(outer->isCurrent());
      EXPECT_TRUE(inner->isCurrent());
      // Held by this thread further out, so this must not deadlock.
      outer->sync([&] { reachedInnermost = true; });
    });
    EXPECT_FALSE(inner->isCurrent());
  });
  EXPECT_TRUE(reachedInnermost);
  EXPECT_FALSE(outer->isCurrent());
}

TEST_F(DispatchQueueTest, SyncWaitsForTasksQueuedBeforeIt) {
  auto queue = DispatchQueue::createSerial("ordered");
  DispatchSemaphore gate;
  std::vector<std::string> order;  // Touched only by the queue's tasks.
  queue->async([&] {
    gate.wait();
    order.push_back("async");
  });
  std::thread opener([&] { gate.signal(); });
  queue->sync([&] { order.push_back("sync"); });
  opener.join();
  EXPECT_EQ(order, (std::vector<std::string>{"async", "sync"}));
}

TEST_F(DispatchQueueTest, SyncFromManyThreadsInterleavesWithAsyncWithoutOverlap) {
  auto queue = DispatchQueue::createSerial("mixed");
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  int total = 0;  // Guarded by the queue.
  auto step = [&] {
    if (running.fetch_add(1) != 0) {
      overlapped = true;
    }
    ++total;
    running.fetch_sub(1);
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (i % 2 == 0) {
          queue->sync(step);
        } else {
          queue->async(step);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(total, 6 * 200);
}

TEST_F(DispatchQueueTest, SyncRethrowsWhatTheTaskThrowsAndTheQueueKeepsWorking) {
  auto serial = DispatchQueue::createSerial("throws");
  EXPECT_THROW(serial->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
  bool ran = false;
  serial->sync([&] { ran = true; });
  EXPECT_TRUE(ran);

  std::atomic<bool> rethrownOnWorker{false};
  DispatchQueue::global()->async([&] {
    try {
      DispatchQueue::main()->sync([] { throw std::runtime_error("on main"); });
    } catch (const std::runtime_error&) {
      rethrownOnWorker = true;
    }
  });
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(rethrownOnWorker);
}

TEST_F(DispatchQueueTest, SyncToMainFromAWorkerRunsOnTheMainLoop) {
  std::atomic<bool> ranOnMain{false};
  std::atomic<bool> workerDone{false};
  DispatchQueue::global()->async([&] {
    DispatchQueue::main()->sync([&] {
      ranOnMain = DispatchQueue::isMainThread() && DispatchQueue::main()->isCurrent();
    });
    workerDone = true;
  });
  EXPECT_TRUE(MainLoop::instance().runUntil([&] { return workerDone.load(); }, kGenerousWaitSeconds));
  EXPECT_TRUE(ranOnMain);
}

TEST_F(DispatchQueueTest, SettleOnTheMainThreadServesWorkersWaitingForMain) {
  // A chain that alternates between a serial queue and main: settle must keep
  // pumping main while the background is busy.
  auto queue = DispatchQueue::createSerial("chain");
  std::vector<int> steps;  // Touched by one thread at a time (sync hand-offs).
  queue->async([&] {
    steps.push_back(1);
    DispatchQueue::main()->sync([&] {
      steps.push_back(2);
      queue->async([&] { steps.push_back(4); });
    });
    steps.push_back(3);
  });
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(DispatchQueueTest, SettleAnswersFalseWhileWorkIsStuck) {
  DispatchSemaphore gate;
  DispatchQueue::global()->async([&] { gate.wait(); });
  EXPECT_FALSE(DispatchQueue::settle(0.02));
  gate.signal();
  EXPECT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
}

TEST_F(DispatchQueueTest, SettleOffTheMainThreadIgnoresTheMainQueue) {
  bool mainRan = false;
  DispatchQueue::main()->async([&] { mainRan = true; });
  bool settledElsewhere = false;
  std::thread other([&] { settledElsewhere = DispatchQueue::settle(kGenerousWaitSeconds); });
  other.join();
  EXPECT_TRUE(settledElsewhere);
  EXPECT_FALSE(mainRan);
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(mainRan);
}

TEST_F(DispatchQueueTest, AQueueWithPendingTasksOutlivesItsLastHandle) {
  std::atomic<int> ran{0};
  {
    auto queue = DispatchQueue::createSerial("orphan");
    for (int i = 0; i < 100; ++i) {
      queue->async([&] { ran.fetch_add(1); });
    }
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(ran, 100);
}

TEST_F(DispatchQueueTest, CurrentNamesTheQueueOfTheRunningTask) {
  EXPECT_EQ(DispatchQueue::current(), DispatchQueue::main());  // The main thread serves main.
  EXPECT_TRUE(DispatchQueue::isMainThread());

  auto serial = DispatchQueue::createSerial("current");
  std::shared_ptr<DispatchQueue> onSerial;
  std::shared_ptr<DispatchQueue> onGlobal;
  bool globalIsNotSerial = false;
  serial->async([&] { onSerial = DispatchQueue::current(); });
  DispatchQueue::global(QueuePriority::High)->async([&] {
    onGlobal = DispatchQueue::current();
    globalIsNotSerial = !serial->isCurrent() && !DispatchQueue::main()->isCurrent();
  });
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(onSerial, serial);
  EXPECT_EQ(onGlobal, DispatchQueue::global(QueuePriority::High));
  EXPECT_TRUE(globalIsNotSerial);

  std::shared_ptr<DispatchQueue> onPlainThread = DispatchQueue::main();
  bool plainThreadIsMain = true;
  std::thread plain([&] {
    onPlainThread = DispatchQueue::current();
    plainThreadIsMain = DispatchQueue::isMainThread();
  });
  plain.join();
  EXPECT_EQ(onPlainThread, nullptr);
  EXPECT_FALSE(plainThreadIsMain);
}

TEST_F(DispatchQueueTest, BlockedSerialTasksDoNotStarveOtherQueues) {
  // Each serial queue's first task blocks until a task on the next queue has
  // run: a pool that did not grow past busy workers would deadlock.
  constexpr int kQueues = 12;
  std::vector<DispatchQueuePtr> queues;
  std::vector<std::unique_ptr<DispatchSemaphore>> released;
  for (int i = 0; i < kQueues; ++i) {
    queues.push_back(DispatchQueue::createSerial("chain-" + std::to_string(i)));
    released.push_back(std::make_unique<DispatchSemaphore>());
  }
  std::atomic<int> finished{0};
  for (int i = 0; i < kQueues; ++i) {
    queues[i]->async([&, i] {
      if (i + 1 < kQueues) {
        queues[i + 1]->sync([] {});
        released[i + 1]->wait(kGenerousWaitSeconds);
      }
      released[i]->signal();
      finished.fetch_add(1);
    });
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_EQ(finished, kQueues);
}

TEST_F(DispatchQueueTest, ManyBlockedWorkersStillLeaveAThreadForTheWorkTheyWaitFor) {
  // More waiters than a pool of fixed size would hold: the serial task that
  // releases them is queued last and must still run at once.
  constexpr int kWaiters = 200;
  DispatchSemaphore released;
  std::atomic<int> releasedInTime{0};
  for (int i = 0; i < kWaiters; ++i) {
    DispatchQueue::global()->async([&] {
      if (released.wait(kGenerousWaitSeconds)) {
        releasedInTime.fetch_add(1);
      }
    });
  }
  DispatchQueue::createSerial("releaser")->async([&] {
    for (int i = 0; i < kWaiters; ++i) {
      released.signal();
    }
  });
  ASSERT_TRUE(DispatchQueue::settle(2 * kGenerousWaitSeconds));
  EXPECT_EQ(releasedInTime, kWaiters);
}

// The distinct threads that ran `count` trivial tasks queued at once.
std::size_t threadsRunningBurst(int count) {
  std::mutex mutex;
  std::set<std::thread::id> threads;
  for (int i = 0; i < count; ++i) {
    DispatchQueue::global()->async([&] {
      std::lock_guard lock(mutex);
      threads.insert(std::this_thread::get_id());
    });
  }
  EXPECT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  return threads.size();
}

TEST_F(DispatchQueueTest, ABurstOfShortTasksRunsOnAFewThreadsOfAColdOrWarmPool) {
  constexpr int kBurst = 50;
  auto& pool = detail::WorkerPool::instance();
  const auto limit = static_cast<std::size_t>(detail::WorkerPool::maxRunningWorkers());
  // Cold when this test runs in a process of its own; idle workers left by
  // earlier tests may take part of the burst otherwise.
  const int coldWorkers = pool.workerCount();
  EXPECT_LE(threadsRunningBurst(kBurst), std::max(limit, static_cast<std::size_t>(coldWorkers)));
  EXPECT_LE(pool.workerCount(), std::max(coldWorkers, static_cast<int>(limit)));

  // Warm the pool well past the limit with tasks that all block at once.
  const int blockers = static_cast<int>(limit) + 8;
  DispatchSemaphore arrived;
  DispatchSemaphore go;
  for (int i = 0; i < blockers; ++i) {
    DispatchQueue::global()->async([&] {
      arrived.signal();
      go.wait(kGenerousWaitSeconds);
    });
  }
  for (int i = 0; i < blockers; ++i) {
    ASSERT_TRUE(arrived.wait(kGenerousWaitSeconds));
  }
  for (int i = 0; i < blockers; ++i) {
    go.signal();
  }
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  const int warmWorkers = pool.workerCount();
  ASSERT_GE(warmWorkers, blockers);

  EXPECT_LE(threadsRunningBurst(kBurst), static_cast<std::size_t>(warmWorkers));
  EXPECT_EQ(pool.workerCount(), warmWorkers) << "the idle workers took the burst";
}

}  // namespace
}  // namespace plexora::platform

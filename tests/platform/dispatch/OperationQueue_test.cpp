#include "platform/dispatch/OperationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "platform/dispatch/DispatchTest.h"
#include "platform/dispatch/MainLoop.h"

namespace plexora::platform {
namespace {

using testing::DispatchTest;
using testing::kGenerousWaitSeconds;

using OperationQueueTest = DispatchTest;

// Records what ran, in order, from any thread.
class Journal {
 public:
  void add(const std::string& entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::size_t indexOf(const std::string& entry) const {
    auto all = entries();
    return static_cast<std::size_t>(std::find(all.begin(), all.end(), entry) - all.begin());
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// Tracks how many operations run at once.
class Overlap {
 public:
  void enter() {
    int now = running_.fetch_add(1) + 1;
    int seen = peak_.load();
    while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
    }
  }
  void leave() { running_.fetch_sub(1); }
  int peak() const { return peak_.load(); }

 private:
  std::atomic<int> running_{0};
  std::atomic<int> peak_{0};
};

TEST_F(OperationQueueTest, AnOperationRunsOnlyAfterAllItsDependenciesFinished) {
  auto queue = OperationQueue::create("deps");
  auto otherQueue = OperationQueue::create("other");
  Journal journal;
  auto first = Operation::fromTask([&] { journal.add("first"); });
  auto second = Operation::fromTask([&] { journal.add("second"); });
  auto elsewhere = Operation::fromTask([&] { journal.add("elsewhere"); });
  auto last = Operation::fromTask([&] { journal.add("last"); });
  last->addDependency(first);
  last->addDependency(second);
  last->addDependency(elsewhere);
  EXPECT_FALSE(last->isReady());

  queue->addOperation(last);  // Added before its dependencies.
  queue->addOperation(second);
  queue->addOperation(first);
  otherQueue->addOperation(elsewhere);

  ASSERT_TRUE(queue->waitUntilAllOperationsAreFinished(kGenerousWaitSeconds));
  ASSERT_EQ(journal.entries().size(), 4u);
  EXPECT_EQ(journal.indexOf("last"), 3u);
  EXPECT_TRUE(last->isFinished());
  EXPECT_TRUE(last->isReady());
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(OperationQueueTest, ACancelledOperationSkipsItsWorkButStillFinishes) {
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(0);  // Hold everything back.
  Journal journal;
  auto blocker = Operation::fromTask([&] { journal.add("blocker"); });
  auto cancelled = Operation::fromTask([&] { journal.add("cancelled main"); });
  cancelled->addDependency(blocker);  // blocker is never added anywhere.
  cancelled->setCompletionBlock([&] { journal.add("cancelled completion"); });
  auto dependent = Operation::fromTask([&] { journal.add("dependent"); });
  dependent->addDependency(cancelled);
  queue->addOperation(cancelled);
  queue->addOperation(dependent);

  cancelled->cancel();
  EXPECT_TRUE(cancelled->isCancelled());
  EXPECT_TRUE(cancelled->isReady());  // No longer waits for blocker.
  queue->setMaxConcurrentOperationCount(OperationQueue::kDefaultMaxConcurrentOperationCount);

  ASSERT_TRUE(queue->waitUntilAllOperationsAreFinished(kGenerousWaitSeconds));
  EXPECT_EQ(journal.entries(), (std::vector<std::string>{"cancelled completion", "dependent"}));
  EXPECT_TRUE(cancelled->isFinished());
  EXPECT_FALSE(cancelled->isExecuting());
}

TEST_F(OperationQueueTest, CancelAllOperationsSkipsEveryPendingOne) {
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(0);
  std::atomic<int> mains{0};
  std::atomic<int> completions{0};
  for (int i = 0; i < 5; ++i) {
    auto operation = Operation::fromTask([&] { mains.fetch_add(1); });
    operation->setCompletionBlock([&] { completions.fetch_add(1); });
    queue->addOperation(operation);
  }
  EXPECT_EQ(queue->operationCount(), 5u);
  EXPECT_FALSE(queue->waitUntilAllOperationsAreFinished(0.01));

  queue->cancelAllOperations();
  queue->setMaxConcurrentOperationCount(1);
  ASSERT_TRUE(queue->waitUntilAllOperationsAreFinished(kGenerousWaitSeconds));
  EXPECT_EQ(mains, 0);
  EXPECT_EQ(completions, 5);
}

class CooperativeOperation final : public Operation {
 public:
  DispatchSemaphore started;
  DispatchSemaphore proceed;
  std::atomic<bool> sawCancel{false};

 protected:
  void main() override {
    started.signal();
    proceed.wait();
    sawCancel = isCancelled();
  }
};

TEST_F(OperationQueueTest, CancellingARunningOperationIsVisibleToItsWork) {
  auto queue = OperationQueue::create();
  auto operation = std::make_shared<CooperativeOperation>();
  queue->addOperation(operation);
  ASSERT_TRUE(operation->started.wait(kGenerousWaitSeconds));
  EXPECT_TRUE(operation->isExecuting());
  queue->cancelAllOperations();
  operation->proceed.signal();
  ASSERT_TRUE(operation->waitUntilFinished(kGenerousWaitSeconds));
  EXPECT_TRUE(operation->sawCancel);
  EXPECT_FALSE(operation->isExecuting());
}

class OperationQueueConcurrencyTest : public DispatchTest, public ::testing::WithParamInterface<int> {};

TEST_P(OperationQueueConcurrencyTest, RunsExactlyAsManyOperationsAtOnceAsAllowed) {
  const int maxConcurrent = GetParam();
  constexpr int kOperations = 6;
  auto queue = OperationQueue::create();
  queue->setMaxConcurrentOperationCount(maxConcurrent);
  EXPECT_EQ(queue->maxConcurrentOperationCount(), maxConcurrent);
  Overlap overlap;
  DispatchSemaphore arrived;
  DispatchSemaphore go;
  Journal journal;
  for (int i = 0; i < kOperations; ++i) {
    queue->addOperation([&, i] {
      overlap.enter();
      journal.add(std::to_string(i));
      arrived.signal();
      go.wait();
      overlap.leave();
    });
  }
  for (int i = 0; i < maxConcurrent; ++i) {
    ASSERT_TRUE(arrived.wait(kGenerousWaitSeconds));
  }
  EXPECT_FALSE(arrived.wait(0.02));  // Nobody beyond the bound started.
  for (int i = 0; i < kOperations; ++i) {
    go.signal();
  }
  ASSERT_TRUE(queue->waitUntilAllOperationsAreFinished(kGenerousWaitSeconds));
  EXPECT_EQ(overlap.peak(), maxConcurrent);
  if (maxConcurrent == 1) {
    EXPECT_EQ(journal.entries(), (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Bounds, OperationQueueConcurrencyTest, ::testing::Values(1, 2, 3));

TEST_F(OperationQueueTest, UnboundedQueueRunsOperationsInParallel) {
  constexpr int kOperations = 8;
  auto queue = OperationQueue::create();
  DispatchSemaphore arrived;
  DispatchSemaphore go;
  for (int i = 0; i < kOperations; ++i) {
    queue->addOperation([&] {
      arrived.signal();
      go.wait();
    });
  }
  int arrivals = 0;
  while (arrivals < kOperations && arrived.wait(kGenerousWaitSeconds)) {
    ++arrivals;
  }
  for (int i = 0; i < kOperations; ++i) {
    go.signal();
  }
  EXPECT_EQ(arrivals, kOperations);
  EXPECT_TRUE(queue->waitUntilAllOperationsAreFinished(kGenerousWaitSeconds));
}

TEST_F(OperationQueueTest, CompletionBlockRunsAfterMainBeforeTheOperationCountsAsFinished) {
  auto queue = OperationQueue::create();
  Journal journal;
  auto operation = Operation::fromTask([&] { journal.add("main"); });
  operation->setCompletionBlock([&] {
    journal.add(operation->isFinished() ? "completion after finish" : "completion");
  });
  queue->addOperation(operation);
  ASSERT_TRUE(operation->waitUntilFinished(kGenerousWaitSeconds));
  EXPECT_EQ(journal.entries(), (std::vector<std::string>{"main", "completion"}));
}

TEST_F(OperationQueueTest, MainOperationQueueRunsOnTheMainThreadOneAtATime) {
  auto queue = OperationQueue::main();
  EXPECT_EQ(queue, OperationQueue::main());
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
  std::vector<int> order;
  bool allOnMain = true;
  for (int i = 0; i < 3; ++i) {
    queue->addOperation([&, i] {
      order.push_back(i);
      allOnMain = allOnMain && DispatchQueue::isMainThread();
    });
  }
  EXPECT_TRUE(MainLoop::instance().runUntil([&] { return queue->operationCount() == 0; }, kGenerousWaitSeconds));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(allOnMain);
}

TEST_F(OperationQueueTest, MisuseIsRefused) {
  auto queue = OperationQueue::create("misuse");
  EXPECT_EQ(queue->name(), "misuse");
  auto operation = Operation::fromTask([] {});
  queue->addOperation(operation);
  EXPECT_THROW(queue->addOperation(operation), std::invalid_argument);
  EXPECT_THROW(operation->addDependency(Operation::fromTask([] {})), std::logic_error);
  ASSERT_TRUE(operation->waitUntilFinished(kGenerousWaitSeconds));
  EXPECT_THROW(OperationQueue::create()->addOperation(operation), std::invalid_argument);
  EXPECT_THROW(queue->addOperation(std::shared_ptr<Operation>()), std::invalid_argument);
  EXPECT_THROW(operation->addDependency(nullptr), std::invalid_argument);
  EXPECT_THROW(queue->setMaxConcurrentOperationCount(-2), std::invalid_argument);
}

TEST_F(OperationQueueTest, OperationsWaitingOnDependenciesOutliveTheQueueHandle) {
  auto gateQueue = OperationQueue::create();
  gateQueue->setMaxConcurrentOperationCount(0);
  auto gate = Operation::fromTask([] {});
  gateQueue->addOperation(gate);
  std::atomic<bool> ran{false};
  {
    auto queue = OperationQueue::create();
    auto waiting = Operation::fromTask([&] { ran = true; });
    waiting->addDependency(gate);
    queue->addOperation(waiting);
  }
  gateQueue->setMaxConcurrentOperationCount(1);
  ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds));
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace plexora::platform

#include "platform/dispatch/OperationQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <stdexcept>
#include <utility>

#include "platform/dispatch/RealTimeWait.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform {

namespace {

constexpr const char* kAlreadyEnqueuedMessage = "operation is already enqueued on a queue";
constexpr const char* kAlreadyFinishedMessage = "operation is finished and cannot be enqueued";
constexpr const char* kNullOperationMessage = "operation must not be null";
constexpr const char* kDependencyAfterEnqueueMessage = "dependencies must be added before the operation is enqueued";
constexpr const char* kNegativeCountMessage = "maxConcurrentOperationCount cannot be negative (other than -1)";
constexpr const char* kMainOperationQueueName = "plexora.main.operations";

class TaskOperation final : public Operation {
 public:
  explicit TaskOperation(Task task) : task_(std::move(task)) {}

 protected:
  void main() override {
    if (task_) {
      task_();
    }
  }

 private:
  Task task_;
};

}  // namespace

struct Operation::State {
  mutable std::mutex mutex;
  std::condition_variable finishedChanged;
  bool cancelled = false;
  bool executing = false;
  bool finished = false;
  bool enqueued = false;
  std::vector<std::shared_ptr<Operation>> dependencies;
  Task completionBlock;
  // Run once the operation has finished (dependents waiting on it).
  std::vector<std::function<void()>> finishObservers;
  // Set by the queue holding the operation; told when cancel() makes the
  // operation ready early.
  std::function<void()> readinessChanged;
};

Operation::Operation() : state_(std::make_shared<State>()) {}

Operation::~Operation() = default;

std::shared_ptr<Operation> Operation::fromTask(Task task) { return std::make_shared<TaskOperation>(std::move(task)); }

void Operation::addDependency(const std::shared_ptr<Operation>& other) {
  if (!other) {
    throw std::invalid_argument(kNullOperationMessage);
  }
  std::lock_guard lock(state_->mutex);
  if (state_->enqueued) {
    throw std::logic_error(kDependencyAfterEnqueueMessage);
  }
  state_->dependencies.push_back(other);
}

void Operation::cancel() {
  std::function<void()> notifyQueue;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled || state_->finished) {
      return;
    }
    state_->cancelled = true;
    notifyQueue = state_->readinessChanged;
  }
  if (notifyQueue) {
    notifyQueue();
  }
}

bool Operation::isCancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

bool Operation::isExecuting() const {
  std::lock_guard lock(state_->mutex);
  return state_->executing;
}

bool Operation::isFinished() const {
  std::lock_guard lock(state_->mutex);
  return state_->finished;
}

bool Operation::isReady() const {
  std::vector<std::shared_ptr<Operation>> dependencies;
  {
    std::lock_guard lock(state_->mutex);
    // A cancelled operation no longer waits for its dependencies, so that it
    // leaves its queue promptly.
    if (state_->cancelled) {
      return true;
    }
    dependencies = state_->dependencies;
  }
  return std::all_of(dependencies.begin(), dependencies.end(),
                     [](const std::shared_ptr<Operation>& dependency) { return dependency->isFinished(); });
}

void Operation::setCompletionBlock(Task block) {
  std::lock_guard lock(state_->mutex);
  state_->completionBlock = std::move(block);
}

bool Operation::waitUntilFinished(double timeoutSeconds) {
  const detail::BlockedWorkerScope blocked;
  std::unique_lock lock(state_->mutex);
  return detail::waitUntil(state_->finishedChanged, lock, detail::deadlineAfter(timeoutSeconds),
                           [this] { return state_->finished; });
}

void Operation::markEnqueued(std::function<void()> readinessChanged) {
  std::lock_guard lock(state_->mutex);
  if (state_->enqueued) {
    throw std::invalid_argument(kAlreadyEnqueuedMessage);
  }
  if (state_->finished) {
    throw std::invalid_argument(kAlreadyFinishedMessage);
  }
  state_->enqueued = true;
  state_->readinessChanged = std::move(readinessChanged);
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(state_->mutex);
  return state_->dependencies;
}

void Operation::whenFinished(std::function<void()> observer) {
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->finished) {
      state_->finishObservers.push_back(std::move(observer));
      return;
    }
  }
  observer();
}

void Operation::run() {
  bool skipMain = false;
  std::vector<std::shared_ptr<Operation>> dependencies;
  {
    std::lock_guard lock(state_->mutex);
    skipMain = state_->cancelled;
    state_->executing = !skipMain;
    dependencies.swap(state_->dependencies);
  }
  dependencies.clear();  // Held until the start only.
  if (!skipMain) {
    main();
  }
  Task completion;
  {
    std::lock_guard lock(state_->mutex);
    state_->executing = false;
    completion = std::move(state_->completionBlock);
  }
  if (completion) {
    completion();
    completion = nullptr;
  }
  // Finished only once the completion block has run, so waiters and
  // dependents see every effect of the operation.
  std::vector<std::function<void()>> observers;
  {
    std::lock_guard lock(state_->mutex);
    state_->finished = true;
    state_->readinessChanged = nullptr;
    observers.swap(state_->finishObservers);
    state_->finishedChanged.notify_all();
  }
  for (auto& observer : observers) {
    observer();
  }
}

struct OperationQueue::Impl : std::enable_shared_from_this<OperationQueue::Impl> {
  Impl(std::string queueName, DispatchQueuePtr queueTarget, int maxConcurrent)
      : name(std::move(queueName)), target(std::move(queueTarget)), maxConcurrentOperationCount(maxConcurrent) {}

  const std::string name;
  const DispatchQueuePtr target;
  mutable std::mutex mutex;
  std::condition_variable allFinished;
  int maxConcurrentOperationCount;
  // Added and not started, in the order they were added.
  std::deque<std::shared_ptr<Operation>> waiting;
  std::vector<std::shared_ptr<Operation>> running;

  void add(const std::shared_ptr<Operation>& operation);
  // Starts, oldest first, the waiting operations that are ready, as far as
  // the concurrency bound allows.
  void startReady();
  void finished(const std::shared_ptr<Operation>& operation);
};

void OperationQueue::Impl::add(const std::shared_ptr<Operation>& operation) {
  std::weak_ptr<Impl> weakSelf = weak_from_this();
  operation->markEnqueued([weakSelf] {
    if (auto self = weakSelf.lock()) {
      self->startReady();
    }
  });
  {
    std::lock_guard lock(mutex);
    waiting.push_back(operation);
  }
  // Waiting operations keep the queue alive until their dependencies finish.
  for (const auto& dependency : operation->dependencies()) {
    dependency->whenFinished([self = shared_from_this()] { self->startReady(); });
  }
  startReady();
}

void OperationQueue::Impl::startReady() {
  std::vector<std::shared_ptr<Operation>> starting;
  {
    std::lock_guard lock(mutex);
    for (auto it = waiting.begin(); it != waiting.end();) {
      bool roomLeft = maxConcurrentOperationCount < 0 ||
                      running.size() < static_cast<std::size_t>(maxConcurrentOperationCount);
      if (!roomLeft) {
        break;
      }
      if ((*it)->isReady()) {
        running.push_back(*it);
        starting.push_back(*it);
        it = waiting.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& operation : starting) {
    target->async([self = shared_from_this(), operation] {
      operation->run();
      self->finished(operation);
    });
  }
}

void OperationQueue::Impl::finished(const std::shared_ptr<Operation>& operation) {
  {
    std::lock_guard lock(mutex);
    running.erase(std::find(running.begin(), running.end(), operation));
    if (waiting.empty() && running.empty()) {
      allFinished.notify_all();
    }
  }
  startReady();
}

std::shared_ptr<OperationQueue> OperationQueue::main() {
  // Deliberately leaked, like the main dispatch queue it feeds.
  static const auto* const queue = new std::shared_ptr<OperationQueue>(
      new OperationQueue(kMainOperationQueueName, DispatchQueue::main()));
  return *queue;
}

std::shared_ptr<OperationQueue> OperationQueue::create(std::string name) {
  return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), DispatchQueue::global()));
}

OperationQueue::OperationQueue(std::string name, DispatchQueuePtr target)
    : impl_(std::make_shared<Impl>(std::move(name), target,
                                   target->kind() == DispatchQueue::Kind::Main ? 1
                                                                             : kDefaultMaxConcurrentOperationCount)) {}

OperationQueue::~OperationQueue() = default;

const std::string& OperationQueue::name() const { return impl_->name; }

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  if (count < kDefaultMaxConcurrentOperationCount) {
    throw std::invalid_argument(kNegativeCountMessage);
  }
  {
    std::lock_guard lock(impl_->mutex);
    impl_->maxConcurrentOperationCount = count;
  }
  impl_->startReady();
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->maxConcurrentOperationCount;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) {
    throw std::invalid_argument(kNullOperationMessage);
  }
  impl_->add(operation);
}

void OperationQueue::addOperation(Task task) { impl_->add(Operation::fromTask(std::move(task))); }

void OperationQueue::cancelAllOperations() {
  std::vector<std::shared_ptr<Operation>> operations;
  {
    std::lock_guard lock(impl_->mutex);
    operations.assign(impl_->waiting.begin(), impl_->waiting.end());
    operations.insert(operations.end(), impl_->running.begin(), impl_->running.end());
  }
  for (auto& operation : operations) {
    operation->cancel();
  }
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->waiting.size() + impl_->running.size();
}

bool OperationQueue::waitUntilAllOperationsAreFinished(double timeoutSeconds) {
  const detail::BlockedWorkerScope blocked;
  std::unique_lock lock(impl_->mutex);
  return detail::waitUntil(impl_->allFinished, lock, detail::deadlineAfter(timeoutSeconds),
                           [this] { return impl_->waiting.empty() && impl_->running.empty(); });
}

}  // namespace plexora::platform

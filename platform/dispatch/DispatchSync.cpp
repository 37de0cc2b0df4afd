#include "platform/dispatch/DispatchSync.h"

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/dispatch/RealTimeWait.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform {

namespace {
constexpr const char* kUnbalancedLeaveMessage = "DispatchGroup::leave() without a matching enter()";
}  // namespace

struct DispatchGroup::State {
  std::mutex mutex;
  std::condition_variable emptied;
  std::int64_t count = 0;
  std::vector<std::pair<DispatchQueuePtr, Task>> notifications;

  void leave();
};

void DispatchGroup::State::leave() {
  std::vector<std::pair<DispatchQueuePtr, Task>> due;
  {
    std::lock_guard lock(mutex);
    if (count == 0) {
      throw std::logic_error(kUnbalancedLeaveMessage);
    }
    if (--count > 0) {
      return;
    }
    due.swap(notifications);
    emptied.notify_all();
  }
  for (auto& [queue, task] : due) {
    queue->async(std::move(task));
  }
}

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
  std::lock_guard lock(state_->mutex);
  ++state_->count;
}

void DispatchGroup::leave() { state_->leave(); }

void DispatchGroup::async(const DispatchQueuePtr& queue, Task task) {
  enter();
  queue->async([state = state_, task = std::move(task)] {
    task();
    state->leave();
  });
}

void DispatchGroup::notify(const DispatchQueuePtr& queue, Task task) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->count > 0) {
      state_->notifications.emplace_back(queue, std::move(task));
      return;
    }
  }
  queue->async(std::move(task));
}

bool DispatchGroup::wait(double timeoutSeconds) {
  const detail::BlockedWorkerScope blocked;
  std::unique_lock lock(state_->mutex);
  return detail::waitUntil(state_->emptied, lock, detail::deadlineAfter(timeoutSeconds),
                           [this] { return state_->count == 0; });
}

DispatchSemaphore::DispatchSemaphore(long value) : value_(value) {}

void DispatchSemaphore::signal() {
  std::lock_guard lock(mutex_);
  ++value_;
  signalled_.notify_one();
}

bool DispatchSemaphore::wait(double timeoutSeconds) {
  std::unique_lock lock(mutex_);
  if (value_ > 0) {
    --value_;
    return true;
  }
  lock.unlock();
  const detail::BlockedWorkerScope blocked;
  lock.lock();
  if (!detail::waitUntil(signalled_, lock, detail::deadlineAfter(timeoutSeconds), [this] { return value_ > 0; })) {
    return false;
  }
  --value_;
  return true;
}

void dispatchOnce(OnceFlag& flag, const Task& task) { std::call_once(flag, task); }

}  // namespace plexora::platform

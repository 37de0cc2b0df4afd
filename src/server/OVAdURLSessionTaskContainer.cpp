#include "server/OVAdURLSessionTaskContainer.h"

#include <utility>

#include "platform/dispatch/Clock.h"

namespace plexora {

std::shared_ptr<OVAdURLSessionTaskContainer> OVAdURLSessionTaskContainer::create(
    CancelledWhileWaiting cancelledWhileWaiting) {
  return std::shared_ptr<OVAdURLSessionTaskContainer>(new OVAdURLSessionTaskContainer(
      std::move(cancelledWhileWaiting), platform::Clock::current()->monotonicTime()));
}

OVAdURLSessionTaskContainer::OVAdURLSessionTaskContainer(CancelledWhileWaiting cancelledWhileWaiting,
                                                         double requestStart)
    : requestStart_(requestStart), onCancelledWhileWaiting_(std::move(cancelledWhileWaiting)) {}

platform::URLSessionDataTaskPtr OVAdURLSessionTaskContainer::task() const {
  std::lock_guard lock(mutex_);
  return task_;
}

platform::URLSessionTaskState OVAdURLSessionTaskContainer::state() const {
  std::lock_guard lock(mutex_);
  if (task_) {
    return task_->state();
  }
  return cancelledWhileWaiting_ ? platform::URLSessionTaskState::Completed : platform::URLSessionTaskState::Running;
}

void OVAdURLSessionTaskContainer::cancel() {
  platform::URLSessionDataTaskPtr task;
  CancelledWhileWaiting cancelled;
  {
    std::lock_guard lock(mutex_);
    if (task_) {
      task = task_;
    } else if (!cancelledWhileWaiting_) {
      cancelledWhileWaiting_ = true;
      cancelled = std::move(onCancelledWhileWaiting_);
      onCancelledWhileWaiting_ = nullptr;
    }
  }
  if (task) {
    task->cancel();
  } else if (cancelled) {
    cancelled(shared_from_this());
  }
}

bool OVAdURLSessionTaskContainer::startTask(const std::function<platform::URLSessionDataTaskPtr()>& makeTask) {
  platform::URLSessionDataTaskPtr task;
  CancelledWhileWaiting released;
  {
    std::lock_guard lock(mutex_);
    if (cancelledWhileWaiting_ || task_) {
      return false;
    }
    task_ = makeTask();
    task = task_;
    released = std::move(onCancelledWhileWaiting_);
    onCancelledWhileWaiting_ = nullptr;
  }
  // A cancel() that slipped in since the task was stored has already ended
  // it; resuming a cancelled task does nothing.
  if (task) {
    task->resume();
  }
  return task != nullptr;
}

}  // namespace plexora

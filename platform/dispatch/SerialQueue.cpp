#include "platform/dispatch/SerialQueue.h"

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/PendingWork.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform::detail {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {}

void SerialQueue::async(Task task) {
  PendingWork::instance().taskQueued();
  std::lock_guard lock(mutex_);
  items_.push_back(Item{std::move(task), {}, false});
  if (!owned_) {
    owned_ = true;
    startDrainLocked();
  }
}

void SerialQueue::sync(Task task) {
  if (isCurrent()) {
    task();
    return;
  }
  PendingWork::instance().taskQueued();
  std::future<void> turn;
  {
    std::lock_guard lock(mutex_);
    if (!owned_) {
      owned_ = true;  // Idle queue: take it straight away.
    } else {
      Item item;
      item.isSyncTurn = true;
      turn = item.turn.get_future();
      items_.push_back(std::move(item));
    }
  }
  if (turn.valid()) {
    const BlockedWorkerScope blocked;
    turn.wait();
  }
  runOwned(task);
}

bool SerialQueue::isCurrent() const { return isOnCurrentQueueStack(this); }

void SerialQueue::startDrainLocked() {
  WorkerPool::instance().submit([self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
}

void SerialQueue::drain() {
  for (int ran = 0; ran < kTasksPerDrain; ++ran) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      if (items_.empty()) {
        owned_ = false;
        return;
      }
      item = std::move(items_.front());
      items_.pop_front();
    }
    if (item.isSyncTurn) {
      item.turn.set_value();  // Ownership passes to the waiting caller.
      return;
    }
    {
      CurrentQueueScope scope(this);
      item.task();
    }
    item.task = nullptr;
    PendingWork::instance().taskDone();
  }
  std::lock_guard lock(mutex_);
  if (items_.empty()) {
    owned_ = false;
  } else {
    startDrainLocked();  // Still owned; continue on a fresh pool job.
  }
}

void SerialQueue::runOwned(const Task& task) {
  struct Release {
    SerialQueue* queue;
    ~Release() {
      queue->releaseOwnership();
      PendingWork::instance().taskDone();
    }
  } release{this};
  CurrentQueueScope scope(this);
  task();
}

void SerialQueue::releaseOwnership() {
  std::lock_guard lock(mutex_);
  if (items_.empty()) {
    owned_ = false;
  } else {
    startDrainLocked();
  }
}

}  // namespace plexora::platform::detail

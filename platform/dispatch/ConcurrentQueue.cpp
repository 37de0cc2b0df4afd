#include "platform/dispatch/ConcurrentQueue.h"

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/PendingWork.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform::detail {

ConcurrentQueue::ConcurrentQueue(std::string label) : label_(std::move(label)) {}

void ConcurrentQueue::async(Task task) {
  PendingWork::instance().taskQueued();
  WorkerPool::instance().submit([self = shared_from_this(), task = std::move(task)]() mutable {
    {
      CurrentQueueScope scope(self.get());
      task();
    }
    task = nullptr;
    PendingWork::instance().taskDone();
  });
}

void ConcurrentQueue::sync(Task task) {
  PendingWork::instance().taskQueued();
  struct Done {
    ~Done() { PendingWork::instance().taskDone(); }
  } done;
  CurrentQueueScope scope(this);
  task();
}

bool ConcurrentQueue::isCurrent() const { return isOnCurrentQueueStack(this); }

}  // namespace plexora::platform::detail

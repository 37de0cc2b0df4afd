#include "platform/dispatch/MainQueue.h"

#include <exception>
#include <future>
#include <memory>

#include "platform/dispatch/CurrentQueue.h"
#include "platform/dispatch/MainPostBatch.h"
#include "platform/dispatch/MainTaskQueue.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform::detail {

void MainQueue::async(Task task) {
  if (!MainPostBatch::hold(task)) {
    MainTaskQueue::instance().post(std::move(task));
  }
}

void MainQueue::sync(Task task) {
  if (isMainThread()) {
    CurrentQueueScope scope(this);
    task();
    return;
  }
  // What this thread's batch holds was posted first and runs first.
  MainPostBatch::postHeld();
  // The promise is shared so the main thread may still be leaving set_value()
  // when the caller wakes up and returns.
  auto finished = std::make_shared<std::promise<void>>();
  std::future<void> result = finished->get_future();
  MainTaskQueue::instance().post([&task, finished] {
    try {
      task();
      finished->set_value();
    } catch (...) {
      finished->set_exception(std::current_exception());
    }
  });
  {
    const BlockedWorkerScope blocked;
    result.wait();
  }
  result.get();
}

}  // namespace plexora::platform::detail

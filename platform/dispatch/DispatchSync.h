// Groups, semaphores and once-flags.
//
// Thread safety: every member may be called from any thread.
// Waits are in real time (they block a thread); never wait on the main thread
// for work that needs the main queue.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

// Tracks a set of tasks; notify() runs a block once they have all left.
// Tasks queued through async() keep the group's state alive, so the group
// object itself may go away before they finish.
class DispatchGroup final {
 public:
  DispatchGroup();
  DispatchGroup(const DispatchGroup&) = delete;
  DispatchGroup& operator=(const DispatchGroup&) = delete;

  void enter();
  // Throws std::logic_error when it does not match an earlier enter().
  void leave();
  // Enters, queues the task on `queue`, and leaves when it has run.
  void async(const DispatchQueuePtr& queue, Task task);
  // Queues `task` on `queue` when the group is (or next becomes) empty.
  void notify(const DispatchQueuePtr& queue, Task task);
  // Blocks until the group is empty; timeout < 0 waits forever. Answers
  // whether the group emptied in time.
  bool wait(double timeoutSeconds = -1.0);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

class DispatchSemaphore final {
 public:
  explicit DispatchSemaphore(long value = 0);
  DispatchSemaphore(const DispatchSemaphore&) = delete;
  DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

  void signal();
  // timeout < 0 waits forever. Answers false on timeout.
  bool wait(double timeoutSeconds = -1.0);

 private:
  std::mutex mutex_;
  std::condition_variable signalled_;
  long value_;
};

// A once-flag: dispatchOnce runs the task the first time only; concurrent
// callers wait for that first run to finish.
using OnceFlag = std::once_flag;
void dispatchOnce(OnceFlag& flag, const Task& task);

}  // namespace plexora::platform

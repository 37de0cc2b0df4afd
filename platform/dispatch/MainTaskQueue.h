// The main queue's pending tasks and the eventfd that signals them.
//
// Any thread posts; only the main thread runs (MainLoop, and
// DispatchQueue::settle on the main thread). The eventfd is readable exactly
// while tasks are pending, so a foreign event loop can poll it.
//
// Thread safety: post(), postAll(), pending() and wakeupFd() from any thread;
// runQueued() and waitForTask() on the main thread only.
// Ownership: one instance for the process, never destroyed (other threads may
// post while the process exits).
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RealTimeWait.h"

namespace plexora::platform::detail {

class MainTaskQueue {
 public:
  static MainTaskQueue& instance();
  MainTaskQueue(const MainTaskQueue&) = delete;
  MainTaskQueue& operator=(const MainTaskQueue&) = delete;

  void post(Task task);
  // Posts the tasks in order with one wake-up.
  void postAll(std::vector<Task> tasks);
  std::size_t pending() const;
  int wakeupFd() const { return eventFd_; }

  // Runs the tasks pending at the call, oldest first (fewer if a nested run
  // took some); answers how many ran.
  int runQueued();
  // Blocks until a task is pending, `interruptFd` (if >= 0) is readable, or
  // the deadline passes.
  void waitForTask(const SteadyDeadline& deadline, int interruptFd = -1) const;

 private:
  MainTaskQueue();

  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
  int eventFd_;
};

}  // namespace plexora::platform::detail

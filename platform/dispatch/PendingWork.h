// Process-wide accounting of dispatch work, for DispatchQueue::settle().
//
// Every task queued on a serial or concurrent queue is counted from the
// moment it is queued until it has run and been destroyed. Main-queue posts
// are counted separately so that a settling main thread wakes up to run them.
//
// Thread safety: every member may be called from any thread.
// Ownership: one instance for the process, never destroyed (pool threads may
// still finish tasks while the process exits).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/dispatch/RealTimeWait.h"

namespace plexora::platform::detail {

class PendingWork {
 public:
  static PendingWork& instance();
  PendingWork(const PendingWork&) = delete;
  PendingWork& operator=(const PendingWork&) = delete;

  void taskQueued();
  void taskDone();
  void mainTaskPosted();

  // How many main-queue posts have happened so far.
  std::uint64_t mainPostCount() const;
  bool backgroundIdle() const;

  // Waits until no background task is counted; false at the deadline.
  bool waitForBackgroundIdle(const SteadyDeadline& deadline);
  // Waits until no background task is counted or a main-queue task is posted
  // after `seenMainPosts` posts; false at the deadline.
  bool waitForIdleOrMainPost(std::uint64_t seenMainPosts, const SteadyDeadline& deadline);

 private:
  PendingWork() = default;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t backgroundTasks_ = 0;
  std::uint64_t mainPosts_ = 0;
};

}  // namespace plexora::platform::detail

// The shared pool of worker threads behind the serial and concurrent queues.
//
// The pool keeps about as many workers running as the machine has cores (at
// least kResidentWorkers), so a burst of short tasks queues up for a few
// threads instead of starting one thread per task. A worker that blocks in a
// dispatch wait (a semaphore, a group, sync() onto another queue, an
// operation, a timer's cancel) says so through BlockedWorkerScope; it then no
// longer counts as running, and the pool starts another worker when queued
// jobs would otherwise wait: the work a blocked task waits for always finds a
// thread. Blocked workers included, the pool never exceeds kMaxWorkers
// threads; beyond that, queued jobs wait for a worker to come free. Waits
// outside these primitives (a raw condition variable, file or socket I/O)
// count as running, so library code never blocks a pool thread on other
// pool work that way. Workers beyond the resident ones exit after
// kIdleSecondsBeforeExit without work. All queue priorities share this pool.
//
// Thread safety: every member may be called from any thread.
// Ownership: one pool for the process, never destroyed; workers are detached.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace plexora::platform::detail {

class WorkerPool {
 public:
  static constexpr int kResidentWorkers = 4;
  static constexpr int kMaxWorkers = 512;
  static constexpr double kIdleSecondsBeforeExit = 10.0;

  static WorkerPool& instance();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // How many workers may run (not blocked) at once: the machine's cores, at
  // least kResidentWorkers.
  static int maxRunningWorkers();

  // Runs `job` on some worker thread, soon.
  void submit(std::function<void()> job);
  // Worker threads alive now, blocked ones included.
  int workerCount() const;

 private:
  friend class BlockedWorkerScope;

  WorkerPool() = default;
  void workerBlocked();
  void workerUnblocked();
  // Starts a worker when a queued job has no idle worker to take it and
  // fewer than maxRunningWorkers() workers are unblocked.
  void growIfNeededLocked();
  void startWorkerLocked();
  void workerLoop();

  mutable std::mutex mutex_;
  std::condition_variable jobAvailable_;
  std::deque<std::function<void()>> jobs_;
  int workers_ = 0;
  int idleWorkers_ = 0;
  int blockedWorkers_ = 0;
};

// Marks the calling pool worker as blocked for the life of the scope (only
// the outermost scope of a thread counts); does nothing on other threads.
// Every dispatch primitive that waits for other work opens one around its
// wait.
class BlockedWorkerScope {
 public:
  BlockedWorkerScope();
  ~BlockedWorkerScope();
  BlockedWorkerScope(const BlockedWorkerScope&) = delete;
  BlockedWorkerScope& operator=(const BlockedWorkerScope&) = delete;

 private:
  bool counted_ = false;
};

}  // namespace plexora::platform::detail

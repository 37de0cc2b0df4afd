// The shared pool of worker threads behind the serial and concurrent queues.
//
// The pool keeps a few resident workers and grows when every worker is busy
// (a task may block on a semaphore or on sync() to another queue; the work it
// waits for must still find a thread), up to kMaxWorkers. Workers beyond the
// resident ones exit after kIdleSecondsBeforeExit without work. All queue
// priorities share this pool.
//
// Thread safety: submit() may be called from any thread.
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
  static constexpr int kMaxWorkers = 64;
  static constexpr double kIdleSecondsBeforeExit = 10.0;

  static WorkerPool& instance();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs `job` on some worker thread, soon.
  void submit(std::function<void()> job);

 private:
  WorkerPool() = default;
  void startWorkerLocked();
  void workerLoop();

  std::mutex mutex_;
  std::condition_variable jobAvailable_;
  std::deque<std::function<void()>> jobs_;
  int workers_ = 0;
  int idleWorkers_ = 0;
};

}  // namespace plexora::platform::detail

#include "platform/dispatch/WorkerPool.h"

#include <pthread.h>

#include <chrono>
#include <system_error>
#include <thread>

namespace plexora::platform::detail {

namespace {
// The kernel name of every worker; a new thread would otherwise inherit the
// name of whichever thread happened to start it.
constexpr const char* kWorkerOsName = "plexora.worker";
}  // namespace

WorkerPool& WorkerPool::instance() {
  // Deliberately leaked: detached workers wait on its members until the
  // process ends.
  static WorkerPool* const pool = new WorkerPool;
  return *pool;
}

void WorkerPool::submit(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  jobs_.push_back(std::move(job));
  // Every queued job needs a worker that is free to take it; a busy worker
  // may be blocked waiting for exactly this job.
  if (jobs_.size() > static_cast<std::size_t>(idleWorkers_) && workers_ < kMaxWorkers) {
    startWorkerLocked();
  } else {
    jobAvailable_.notify_one();
  }
}

void WorkerPool::startWorkerLocked() {
  try {
    std::thread([this] { workerLoop(); }).detach();
    ++workers_;
  } catch (const std::system_error&) {
    // Out of threads: the job waits for a worker that is already there.
    if (workers_ == 0) {
      throw;
    }
    jobAvailable_.notify_one();
  }
}

void WorkerPool::workerLoop() {
  ::pthread_setname_np(::pthread_self(), kWorkerOsName);
  const auto idleLimit = std::chrono::duration<double>(kIdleSecondsBeforeExit);
  std::unique_lock lock(mutex_);
  for (;;) {
    while (jobs_.empty()) {
      ++idleWorkers_;
      bool woke = jobAvailable_.wait_for(lock, idleLimit, [this] { return !jobs_.empty(); });
      --idleWorkers_;
      if (!woke && workers_ > kResidentWorkers) {
        --workers_;
        return;
      }
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;  // Captured state is released before the worker idles.
    lock.lock();
  }
}

}  // namespace plexora::platform::detail

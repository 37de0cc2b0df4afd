#include "platform/dispatch/WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace plexora::platform::detail {

namespace {
// The kernel name of every worker; a new thread would otherwise inherit the
// name of whichever thread happened to start it.
constexpr const char* kWorkerOsName = "plexora.worker";

// Whether this thread is a worker of the pool, and how deeply it is inside
// blocked scopes.
thread_local bool isPoolWorker = false;
thread_local int blockedScopeDepth = 0;
}  // namespace

WorkerPool& WorkerPool::instance() {
  // Deliberately leaked: detached workers wait on its members until the
  // process ends.
  static WorkerPool* const pool = new WorkerPool;
  return *pool;
}

int WorkerPool::maxRunningWorkers() {
  static const int limit = std::max(static_cast<int>(std::thread::hardware_concurrency()), kResidentWorkers);
  return limit;
}

void WorkerPool::submit(std::function<void()> job) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    wake = idleWorkers_ > 0;
    growIfNeededLocked();
  }
  // Woken once the lock is free: woken inside it, the worker would only
  // block on the lock again, a second switch on every hand-off.
  if (wake) {
    jobAvailable_.notify_one();
  }
}

int WorkerPool::workerCount() const {
  std::lock_guard lock(mutex_);
  return workers_;
}

void WorkerPool::workerBlocked() {
  std::lock_guard lock(mutex_);
  ++blockedWorkers_;
  // The job this worker waits for may be queued behind nobody.
  growIfNeededLocked();
}

void WorkerPool::workerUnblocked() {
  std::lock_guard lock(mutex_);
  --blockedWorkers_;
}

void WorkerPool::growIfNeededLocked() {
  // An idle worker takes a queued job as soon as it wakes, so only jobs
  // beyond the idle workers lack a thread; and once they are taken, every
  // unblocked worker is running.
  const bool unserved = jobs_.size() > static_cast<std::size_t>(idleWorkers_);
  const bool coresLeft = workers_ - blockedWorkers_ < maxRunningWorkers();
  if (unserved && coresLeft && workers_ < kMaxWorkers) {
    startWorkerLocked();
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
  }
}

void WorkerPool::workerLoop() {
  ::pthread_setname_np(::pthread_self(), kWorkerOsName);
  isPoolWorker = true;
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

BlockedWorkerScope::BlockedWorkerScope() {
  if (isPoolWorker && blockedScopeDepth++ == 0) {
    counted_ = true;
    WorkerPool::instance().workerBlocked();
  }
}

BlockedWorkerScope::~BlockedWorkerScope() {
  if (!isPoolWorker) {
    return;
  }
  --blockedScopeDepth;
  if (counted_) {
    WorkerPool::instance().workerUnblocked();
  }
}
}  // namespace plexora::platform::detail

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <optional>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/TimeValues.h"
#include "platform/dispatch/WakeupSchedule.h"

namespace plexora::platform {

namespace {

constexpr const char* kWakeupThreadOsName = "plexora.clock";

double readClock(clockid_t id) {
  timespec now{};
  ::clock_gettime(id, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

// Shared between the clock and its wakeup thread, so that a clock released
// from inside one of its own wakeups can let the thread finish on its own.
struct SystemClock::Impl {
  std::mutex mutex;
  std::condition_variable changed;
  detail::WakeupSchedule schedule;
  bool stopping = false;
  std::thread thread;

  void run();
};

void SystemClock::Impl::run() {
  ::pthread_setname_np(::pthread_self(), kWakeupThreadOsName);
  std::unique_lock lock(mutex);
  while (!stopping) {
    const std::optional<double> next = schedule.nextDeadline();
    if (!next) {
      changed.wait(lock);
      continue;
    }
    const double wait = *next - readClock(CLOCK_MONOTONIC);
    if (wait > 0) {
      // An infinite or far deadline must not overflow the nanoseconds of the
      // wait (which would return at once and spin): wait a day at most.
      changed.wait_for(lock, std::chrono::duration<double>(std::min(wait, detail::kLongestClockWaitSeconds)));
      continue;  // Re-read: an earlier wakeup may have arrived meanwhile.
    }
    std::function<void()> wakeup = std::move(schedule.takeFirstDueBy(*next)->second);
    lock.unlock();
    wakeup();
    wakeup = nullptr;
    lock.lock();
  }
}

SystemClock::SystemClock() : impl_(std::make_shared<Impl>()) {
  impl_->thread = std::thread([impl = impl_] { impl->run(); });
}

SystemClock::~SystemClock() {
  decltype(impl_->schedule.takeAll()) dropped;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
    dropped = impl_->schedule.takeAll();
    impl_->changed.notify_all();
  }
  dropped.clear();
  if (impl_->thread.get_id() == std::this_thread::get_id()) {
    // Released by one of its own wakeups: the thread keeps the shared state
    // and ends as soon as that wakeup returns.
    impl_->thread.detach();
    return;
  }
  impl_->thread.join();
}

double SystemClock::wallTime() const { return readClock(CLOCK_REALTIME); }

double SystemClock::monotonicTime() const { return readClock(CLOCK_MONOTONIC); }

Clock::WakeupId SystemClock::scheduleWakeup(double deadline, std::function<void()> wakeup) {
  std::lock_guard lock(impl_->mutex);
  const WakeupId id = impl_->schedule.add(deadline, std::move(wakeup));
  impl_->changed.notify_all();
  return id;
}

void SystemClock::cancelWakeup(WakeupId id) {
  std::function<void()> cancelled;
  {
    std::lock_guard lock(impl_->mutex);
    cancelled = impl_->schedule.remove(id);
  }
  // Destroyed unlocked: what the wakeup captured may call back into the clock.
}

}  // namespace plexora::platform

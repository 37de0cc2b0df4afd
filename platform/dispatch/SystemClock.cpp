#include <pthread.h>
#include <time.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/TimeValues.h"

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
  using Key = std::pair<double, WakeupId>;  // Deadline, then scheduling order.

  std::mutex mutex;
  std::condition_variable changed;
  std::map<Key, std::function<void()>> wakeups;
  std::map<WakeupId, double> deadlines;
  WakeupId nextId = 1;
  bool stopping = false;
  std::thread thread;

  void run();
};

void SystemClock::Impl::run() {
  ::pthread_setname_np(::pthread_self(), kWakeupThreadOsName);
  std::unique_lock lock(mutex);
  while (!stopping) {
    if (wakeups.empty()) {
      changed.wait(lock);
      continue;
    }
    auto first = wakeups.begin();
    double wait = first->first.first - readClock(CLOCK_MONOTONIC);
    if (wait > 0) {
      changed.wait_for(lock, std::chrono::duration<double>(wait));
      continue;  // Re-read: an earlier wakeup may have arrived meanwhile.
    }
    std::function<void()> wakeup = std::move(first->second);
    deadlines.erase(first->first.second);
    wakeups.erase(first);
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
  std::map<Impl::Key, std::function<void()>> dropped;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
    dropped.swap(impl_->wakeups);
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
  deadline = detail::orderableDeadline(deadline);
  std::lock_guard lock(impl_->mutex);
  WakeupId id = impl_->nextId++;
  impl_->wakeups.emplace(Impl::Key{deadline, id}, std::move(wakeup));
  impl_->deadlines.emplace(id, deadline);
  impl_->changed.notify_all();
  return id;
}

void SystemClock::cancelWakeup(WakeupId id) {
  std::function<void()> cancelled;
  {
    std::lock_guard lock(impl_->mutex);
    auto found = impl_->deadlines.find(id);
    if (found == impl_->deadlines.end()) {
      return;
    }
    auto entry = impl_->wakeups.find(Impl::Key{found->second, id});
    cancelled = std::move(entry->second);
    impl_->wakeups.erase(entry);
    impl_->deadlines.erase(found);
  }
  // Destroyed unlocked: what the wakeup captured may call back into the clock.
}

}  // namespace plexora::platform

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/TimeValues.h"

namespace plexora::platform {

struct ManualClock::Impl {
  using Key = std::pair<double, WakeupId>;  // Deadline, then scheduling order.

  mutable std::mutex mutex;
  const double wallAtStart;
  const double monotonicAtStart;
  double monotonic;
  std::map<Key, std::function<void()>> wakeups;
  std::map<WakeupId, double> deadlines;
  WakeupId nextId = 1;

  Impl(double wall, double mono) : wallAtStart(wall), monotonicAtStart(mono), monotonic(mono) {}

  // Takes the earliest wakeup due by `target` and moves the time to its
  // deadline, or moves the time to `target` and answers null.
  std::function<void()> takeWakeupDueBy(double target);
};

std::function<void()> ManualClock::Impl::takeWakeupDueBy(double target) {
  std::lock_guard lock(mutex);
  auto first = wakeups.begin();
  if (first == wakeups.end() || first->first.first > target) {
    monotonic = std::max(monotonic, target);
    return nullptr;
  }
  monotonic = std::max(monotonic, first->first.first);
  std::function<void()> wakeup = std::move(first->second);
  deadlines.erase(first->first.second);
  wakeups.erase(first);
  return wakeup;
}

ManualClock::ManualClock(double wallTime, double monotonicTime)
    : impl_(std::make_unique<Impl>(wallTime, monotonicTime)) {}

ManualClock::~ManualClock() = default;

double ManualClock::wallTime() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->wallAtStart + (impl_->monotonic - impl_->monotonicAtStart);
}

double ManualClock::monotonicTime() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->monotonic;
}

Clock::WakeupId ManualClock::scheduleWakeup(double deadline, std::function<void()> wakeup) {
  deadline = detail::orderableDeadline(deadline);
  std::lock_guard lock(impl_->mutex);
  WakeupId id = impl_->nextId++;
  impl_->wakeups.emplace(Impl::Key{deadline, id}, std::move(wakeup));
  impl_->deadlines.emplace(id, deadline);
  return id;
}

void ManualClock::cancelWakeup(WakeupId id) {
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

void ManualClock::advance(double seconds) {
  double target = monotonicTime() + detail::nonNegativeSeconds(seconds);
  while (auto wakeup = impl_->takeWakeupDueBy(target)) {
    wakeup();
    wakeup = nullptr;
    DispatchQueue::settle();
  }
}

std::size_t ManualClock::pendingWakeups() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->wakeups.size();
}

}  // namespace plexora::platform

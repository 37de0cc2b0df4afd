#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/TimeValues.h"
#include "platform/dispatch/WakeupSchedule.h"

namespace plexora::platform {

struct ManualClock::Impl {
  mutable std::mutex mutex;
  const double wallAtStart;
  const double monotonicAtStart;
  double monotonic;
  detail::WakeupSchedule schedule;

  Impl(double wall, double mono) : wallAtStart(wall), monotonicAtStart(mono), monotonic(mono) {}

  // Takes the earliest wakeup due by `target` and moves the time to its
  // deadline, or moves the time to `target` and answers null.
  std::function<void()> takeWakeupDueBy(double target);
};

std::function<void()> ManualClock::Impl::takeWakeupDueBy(double target) {
  std::lock_guard lock(mutex);
  auto due = schedule.takeFirstDueBy(target);
  if (!due) {
    monotonic = std::max(monotonic, target);
    return nullptr;
  }
  monotonic = std::max(monotonic, due->first);
  return std::move(due->second);
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
  std::lock_guard lock(impl_->mutex);
  return impl_->schedule.add(deadline, std::move(wakeup));
}

void ManualClock::cancelWakeup(WakeupId id) {
  std::function<void()> cancelled;
  {
    std::lock_guard lock(impl_->mutex);
    cancelled = impl_->schedule.remove(id);
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
  return impl_->schedule.size();
}

}  // namespace plexora::platform

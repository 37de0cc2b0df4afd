#include "platform/media/Timebase.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/dispatch/Clock.h"

namespace plexora::platform {

namespace {

constexpr double kNanoseconds = 1e9;

int64_t toNanoseconds(const MediaTime& time) {
  return static_cast<int64_t>(std::llround(time.seconds() * kNanoseconds));
}

}  // namespace

// Shared with the clock wakeup and the queued firing, which must not keep
// the timer alive and must do nothing once it was rescheduled or removed.
struct TimebaseTimer::State {
  std::mutex mutex;
  DispatchQueuePtr queue;
  Task handler;
  std::optional<int64_t> fireTime;
  std::shared_ptr<Clock> wakeupClock;
  Clock::WakeupId wakeup = 0;
  uint64_t generation = 0;  // of the pending wakeup
  bool added = false;

  // Queues one firing of the current generation.
  void fireLocked(const std::shared_ptr<State>& self) {
    fireTime.reset();
    // A due firing survives later rescheduling; only removal stops it.
    queue->async([weakSelf = std::weak_ptr<State>(self)] {
      auto state = weakSelf.lock();
      if (!state) return;
      Task handler;
      {
        std::lock_guard lock(state->mutex);
        if (!state->added) return;
        handler = state->handler;
      }
      if (handler) handler();
    });
  }

  void cancelWakeupLocked() {
    if (wakeupClock) wakeupClock->cancelWakeup(wakeup);
    wakeupClock.reset();
    ++generation;
  }
};

TimebaseTimer::TimebaseTimer(DispatchQueuePtr queue, Task handler) : state_(std::make_shared<State>()) {
  state_->queue = queue ? std::move(queue) : DispatchQueue::global();
  state_->handler = std::move(handler);
}

std::shared_ptr<Timebase> Timebase::create() {
  std::shared_ptr<Timebase> timebase(new Timebase());
  timebase->anchorHostTime_ = Clock::current()->monotonicTime();
  return timebase;
}

Timebase::~Timebase() {
  for (const auto& timer : timers_) {
    std::lock_guard lock(timer->state_->mutex);
    timer->state_->added = false;
    timer->state_->cancelWakeupLocked();
  }
}

int64_t Timebase::nowLocked(double hostTime) const {
  return anchorTime_ + static_cast<int64_t>(std::llround((hostTime - anchorHostTime_) * rate_ * kNanoseconds));
}

MediaTime Timebase::time() const {
  const double host = Clock::current()->monotonicTime();
  std::lock_guard lock(mutex_);
  return MediaTime::make(nowLocked(host), kTimescale);
}

void Timebase::setTime(const MediaTime& time) {
  if (!time.isNumeric()) return;
  std::lock_guard lock(mutex_);
  anchorHostTime_ = Clock::current()->monotonicTime();
  anchorTime_ = toNanoseconds(time);
  for (const auto& timer : timers_) scheduleLocked(*timer, false);
}

double Timebase::rate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

void Timebase::setRate(double rate) {
  std::lock_guard lock(mutex_);
  const double host = Clock::current()->monotonicTime();
  anchorTime_ = nowLocked(host);
  anchorHostTime_ = host;
  rate_ = std::max(rate, 0.0);
  for (const auto& timer : timers_) scheduleLocked(*timer, false);
}

std::shared_ptr<TimebaseTimer> Timebase::addTimer(DispatchQueuePtr queue, Task handler) {
  auto timer = std::make_shared<TimebaseTimer>(std::move(queue), std::move(handler));
  timer->state_->added = true;
  std::lock_guard lock(mutex_);
  timers_.push_back(timer);
  return timer;
}

void Timebase::removeTimer(const std::shared_ptr<TimebaseTimer>& timer) {
  if (!timer) return;
  std::lock_guard lock(mutex_);
  const auto found = std::find(timers_.begin(), timers_.end(), timer);
  if (found == timers_.end()) return;
  timers_.erase(found);
  Task handler;  // released unlocked: it may own whoever owns the timer
  std::lock_guard timerLock(timer->state_->mutex);
  timer->state_->added = false;
  timer->state_->cancelWakeupLocked();
  handler = std::move(timer->state_->handler);
}

int32_t Timebase::setTimerNextFireTime(const std::shared_ptr<TimebaseTimer>& timer, const MediaTime& fireTime) {
  if (!fireTime.isNumeric()) return kTimebaseInvalidTime;
  if (!timer) return kTimebaseTimerNotAdded;
  std::lock_guard lock(mutex_);
  if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) return kTimebaseTimerNotAdded;
  {
    std::lock_guard timerLock(timer->state_->mutex);
    timer->state_->fireTime = toNanoseconds(fireTime);
  }
  scheduleLocked(*timer, true);
  return kTimebaseOK;
}

void Timebase::scheduleLocked(TimebaseTimer& timer, bool fireIfPassed) {
  const std::shared_ptr<TimebaseTimer::State>& state = timer.state_;
  std::lock_guard lock(state->mutex);
  state->cancelWakeupLocked();
  if (!state->fireTime || rate_ <= 0.0) return;
  std::shared_ptr<Clock> clock = Clock::current();
  const double host = clock->monotonicTime();
  const int64_t now = nowLocked(host);
  if (*state->fireTime <= now) {
    if (fireIfPassed) state->fireLocked(state);
    return;
  }
  const double deadline =
      host + static_cast<double>(*state->fireTime - now) / kNanoseconds / rate_;
  state->wakeupClock = clock;
  state->wakeup = clock->scheduleWakeup(deadline, [weakState = std::weak_ptr<TimebaseTimer::State>(state),
                                                   scheduled = state->generation] {
    auto state = weakState.lock();
    if (!state) return;
    std::lock_guard lock(state->mutex);
    if (!state->added || state->generation != scheduled) return;
    state->wakeupClock.reset();
    state->fireLocked(state);
  });
}

}  // namespace plexora::platform

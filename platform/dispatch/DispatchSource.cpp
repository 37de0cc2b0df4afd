#include "platform/dispatch/DispatchSource.h"

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/TimeValues.h"
#include "platform/dispatch/WorkerPool.h"

namespace plexora::platform {

namespace {
// The source whose handler this thread is running, so that a handler that
// cancels its own source does not wait for itself.
thread_local const void* tickingState = nullptr;
}  // namespace

struct DispatchTimerSource::State : std::enable_shared_from_this<State> {
  std::mutex mutex;
  DispatchQueuePtr queue;
  // Shared so a tick can run it unlocked while cancel() lets go of it.
  std::shared_ptr<const Task> handler;
  // Handlers running now (ticks on a concurrent queue may overlap); cancel()
  // waits for them to end.
  int runningTicks = 0;
  std::condition_variable tickEnded;
  bool timerSet = false;
  bool resumed = false;
  bool cancelled = false;
  double startDelay = 0.0;
  double interval = 0.0;
  // The clock the pending wakeup sits on, and the deadline it is due at.
  std::shared_ptr<Clock> clock;
  Clock::WakeupId wakeup = 0;
  bool wakeupPending = false;
  double deadline = 0.0;
  // Bumped whenever the schedule changes, so a wakeup of an older schedule
  // that is already firing does nothing.
  std::uint64_t generation = 0;

  void armLocked();
  void disarmLocked();
  void scheduleLocked();
  void fire(std::uint64_t firedGeneration);
  void runTick();
};

void DispatchTimerSource::State::armLocked() {
  disarmLocked();
  if (!timerSet || !resumed || cancelled) {
    return;
  }
  clock = Clock::current();
  deadline = clock->monotonicTime() + detail::boundedDelay(startDelay);
  scheduleLocked();
}

void DispatchTimerSource::State::disarmLocked() {
  ++generation;
  if (wakeupPending) {
    clock->cancelWakeup(wakeup);
    wakeupPending = false;
  }
}

void DispatchTimerSource::State::scheduleLocked() {
  std::weak_ptr<State> weakState = weak_from_this();
  std::uint64_t scheduledGeneration = generation;
  wakeup = clock->scheduleWakeup(deadline, [weakState, scheduledGeneration] {
    if (auto state = weakState.lock()) {
      state->fire(scheduledGeneration);
    }
  });
  wakeupPending = true;
}

void DispatchTimerSource::State::fire(std::uint64_t firedGeneration) {
  DispatchQueuePtr target;
  {
    std::lock_guard lock(mutex);
    if (cancelled || firedGeneration != generation) {
      return;
    }
    wakeupPending = false;
    if (interval > 0) {
      // The next deadline follows from the previous one, so ticks do not
      // drift; ticks missed while the process could not run are coalesced
      // into this one.
      double next = deadline + interval;
      double now = clock->monotonicTime();
      if (next <= now) {
        next += std::floor((now - next) / interval + 1.0) * interval;
      }
      deadline = next;
      scheduleLocked();
    }
    target = queue;
  }
  target->async([self = shared_from_this()] { self->runTick(); });
}

void DispatchTimerSource::State::runTick() {
  std::shared_ptr<const Task> current;
  {
    std::lock_guard lock(mutex);
    if (cancelled || !handler || !*handler) {
      return;
    }
    current = handler;
    ++runningTicks;
  }
  struct TickEnd {
    State* state;
    const void* outer = std::exchange(tickingState, state);
    ~TickEnd() {
      tickingState = outer;
      std::lock_guard lock(state->mutex);
      --state->runningTicks;
      state->tickEnded.notify_all();
    }
  } tickEnd{this};
  (*current)();
}

std::shared_ptr<DispatchTimerSource> DispatchTimerSource::create(DispatchQueuePtr queue) {
  return std::shared_ptr<DispatchTimerSource>(new DispatchTimerSource(std::move(queue)));
}

DispatchTimerSource::DispatchTimerSource(DispatchQueuePtr queue) : state_(std::make_shared<State>()) {
  state_->queue = queue ? std::move(queue) : DispatchQueue::global();
}

DispatchTimerSource::~DispatchTimerSource() { cancel(); }

void DispatchTimerSource::setEventHandler(Task handler) {
  // Declared before the lock, so the replaced handler is released unlocked.
  auto shared = std::make_shared<const Task>(std::move(handler));
  std::lock_guard lock(state_->mutex);
  if (!state_->cancelled) {
    std::swap(state_->handler, shared);
  }
}

void DispatchTimerSource::setTimer(double startDelay, double interval, double leeway) {
  std::lock_guard lock(state_->mutex);
  state_->startDelay = startDelay;
  // NaN or not positive: one tick only; infinite: far apart.
  state_->interval = detail::boundedDelay(interval);
  state_->timerSet = true;
  state_->armLocked();
}

void DispatchTimerSource::resume() {
  std::lock_guard lock(state_->mutex);
  if (state_->resumed) {
    return;
  }
  state_->resumed = true;
  state_->armLocked();
}

void DispatchTimerSource::cancel() {
  // Releasing the handler may release this very source (a handler that holds
  // it); from then on only the local references are touched.
  std::shared_ptr<State> state = state_;
  std::shared_ptr<const Task> handler;
  DispatchQueuePtr queue;
  {
    std::unique_lock lock(state->mutex);
    if (state->cancelled) {
      return;
    }
    state->cancelled = true;
    state->disarmLocked();
    handler = std::move(state->handler);
    queue = std::move(state->queue);
    // A handler already running finishes before cancel() returns, except the
    // one cancelling its own source, which would wait for itself.
    const int ownTick = tickingState == state.get() ? 1 : 0;
    if (state->runningTicks > ownTick) {
      const detail::BlockedWorkerScope blocked;
      state->tickEnded.wait(lock, [&] { return state->runningTicks <= ownTick; });
    }
  }
}

bool DispatchTimerSource::isCancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace plexora::platform

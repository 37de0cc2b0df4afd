#include "platform/media/DisplayLink.h"

#include <cmath>
#include <mutex>

#include "platform/dispatch/Clock.h"

namespace plexora::platform {

struct DisplayLink::State {
  mutable std::mutex mutex;
  Callback callback;
  RunLoopPerformer performer;
  bool paused = true;
  bool invalidated = false;
  bool tickQueued = false;
  int frameInterval = 1;
  int ticksSinceCallback = 0;
  double timestamp = 0.0;
  std::shared_ptr<Clock> wakeupClock;
  Clock::WakeupId wakeup = 0;
  bool wakeupPending = false;

  bool shouldTickLocked() const { return !paused && !invalidated && performer != nullptr; }

  void cancelLocked() {
    if (wakeupPending && wakeupClock) wakeupClock->cancelWakeup(wakeup);
    wakeupPending = false;
    wakeupClock.reset();
  }

  // Arms the wakeup for the next refresh after `after` on the grid.
  static void scheduleLocked(const std::shared_ptr<State>& state, double after) {
    if (!state->shouldTickLocked() || state->wakeupPending) return;
    std::shared_ptr<Clock> clock = Clock::current();
    const double deadline = (std::floor(after * kRefreshRate + 1e-9) + 1.0) / kRefreshRate;
    state->wakeupClock = clock;
    state->wakeupPending = true;
    state->wakeup = clock->scheduleWakeup(deadline, [weakState = std::weak_ptr<State>(state), deadline] {
      if (auto locked = weakState.lock()) tick(locked, deadline);
    });
  }

  static void tick(const std::shared_ptr<State>& state, double deadline) {
    RunLoopPerformer performer;
    {
      std::lock_guard lock(state->mutex);
      state->wakeupPending = false;
      state->wakeupClock.reset();
      if (!state->shouldTickLocked()) return;
      scheduleLocked(state, deadline);
      if (++state->ticksSinceCallback < state->frameInterval || state->tickQueued) return;
      state->ticksSinceCallback = 0;
      state->tickQueued = true;
      performer = state->performer;
    }
    performer([weakState = std::weak_ptr<State>(state), deadline] {
      auto locked = weakState.lock();
      if (!locked) return;
      Callback callback;
      std::shared_ptr<DisplayLink> owner = locked->owner.lock();
      if (!owner) return;
      {
        std::lock_guard lock(locked->mutex);
        locked->tickQueued = false;
        if (locked->paused || locked->invalidated) return;
        locked->timestamp = deadline;
        callback = locked->callback;
      }
      if (callback) callback(*owner);
    });
  }

  std::weak_ptr<DisplayLink> owner;
};

std::shared_ptr<DisplayLink> DisplayLink::create(Callback callback) {
  std::shared_ptr<DisplayLink> link(new DisplayLink(std::move(callback)));
  link->state_->owner = link;
  return link;
}

DisplayLink::DisplayLink(Callback callback) : state_(std::make_shared<State>()) {
  state_->callback = std::move(callback);
}

DisplayLink::~DisplayLink() { invalidate(); }

void DisplayLink::addToRunLoop(RunLoopPerformer performer) {
  std::lock_guard lock(state_->mutex);
  if (state_->invalidated) return;
  state_->performer = std::move(performer);
  State::scheduleLocked(state_, Clock::current()->monotonicTime());
}

bool DisplayLink::isPaused() const {
  std::lock_guard lock(state_->mutex);
  return state_->paused;
}

void DisplayLink::setPaused(bool paused) {
  std::lock_guard lock(state_->mutex);
  state_->paused = paused;
  if (paused) {
    state_->cancelLocked();
  } else {
    State::scheduleLocked(state_, Clock::current()->monotonicTime());
  }
}

void DisplayLink::setFrameInterval(int interval) {
  std::lock_guard lock(state_->mutex);
  state_->frameInterval = interval < 1 ? 1 : interval;
}

void DisplayLink::invalidate() {
  Callback released;
  RunLoopPerformer performer;
  std::lock_guard lock(state_->mutex);
  state_->invalidated = true;
  state_->cancelLocked();
  released = std::move(state_->callback);
  performer = std::move(state_->performer);
}

double DisplayLink::timestamp() const {
  std::lock_guard lock(state_->mutex);
  return state_->timestamp;
}

}  // namespace plexora::platform

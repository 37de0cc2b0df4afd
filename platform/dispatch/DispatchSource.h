// A timer dispatch source: runs its handler on its queue at a start time and
// then at every interval, on the current Clock.
//
// Thread safety: every member may be called from any thread.
// Ownership: the source holds its handler and queue until cancel(); the
// pending clock wakeup holds the source only weakly, so dropping the last
// reference stops it.
#pragma once

#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

class DispatchTimerSource final : public std::enable_shared_from_this<DispatchTimerSource> {
 public:
  // A null queue stands for the default global queue.
  static std::shared_ptr<DispatchTimerSource> create(DispatchQueuePtr queue);
  ~DispatchTimerSource();
  DispatchTimerSource(const DispatchTimerSource&) = delete;
  DispatchTimerSource& operator=(const DispatchTimerSource&) = delete;

  void setEventHandler(Task handler);
  // First tick `startDelay` seconds from now, then one every `interval`
  // seconds (interval <= 0 or NaN: one tick only; delays beyond about 31
  // years, infinite ones included, mean the far future). The leeway is accepted for
  // fidelity; ticks are never early and the system clock fires them as close
  // to due as it can.
  void setTimer(double startDelay, double interval, double leeway);
  // Nothing ticks before resume().
  void resume();
  // Stops the source for good and releases the handler. A tick already queued
  // on the queue does nothing when it runs; a handler already running on
  // another thread has returned before cancel() does, so no handler runs
  // after it. Called from the source's own handler it does not wait (the
  // handler runs on). Never cancel while holding something the handler
  // waits for (a lock it takes, a queue it sync()s onto).
  void cancel();
  bool isCancelled() const;

 private:
  explicit DispatchTimerSource(DispatchQueuePtr queue);
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace plexora::platform

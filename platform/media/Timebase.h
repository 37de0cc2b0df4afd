// A control timebase: media time that runs at a rate against the current
// platform Clock's monotonic time (rate 0: stopped), with timers that fire
// when the timebase reaches their time.
//
// A timer fires once for each next fire time it is given: when the running
// timebase reaches that time from below, or at once (queued) when the time
// has already been reached as the fire time is set on a running timebase.
// Changing the rate or the time reschedules every timer; a fire time the
// jump left behind stays armed until the time reaches it again, and a
// stopped timebase fires none.
//
// Thread safety: every member may be called from any thread (the player
// reads the time on its state queue, the layer on its display ticks).
// Ownership: the timebase holds its timers until they are removed; a timer
// holds its handler and queue, and only a weak reference to the timebase.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/MediaTime.h"

namespace plexora::platform {

inline constexpr int32_t kTimebaseOK = 0;
// A fire time that is not a numeric media time.
inline constexpr int32_t kTimebaseInvalidTime = -12760;
// A timer that belongs to no timebase (never added, or removed).
inline constexpr int32_t kTimebaseTimerNotAdded = -12761;

class TimebaseTimer;

class Timebase final : public std::enable_shared_from_this<Timebase> {
 public:
  // The timescale of the times the timebase answers (nanoseconds).
  static constexpr int32_t kTimescale = 1000000000;

  // Stopped at time zero.
  static std::shared_ptr<Timebase> create();
  ~Timebase();
  Timebase(const Timebase&) = delete;
  Timebase& operator=(const Timebase&) = delete;

  MediaTime time() const;
  // Non-numeric times are ignored.
  void setTime(const MediaTime& time);
  double rate() const;
  // Negative rates count as 0.
  void setRate(double rate);

  // A timer whose firings run `handler` on `queue`; it has no fire time yet.
  std::shared_ptr<TimebaseTimer> addTimer(DispatchQueuePtr queue, Task handler);
  // Stops the timer for good; a firing already queued does nothing.
  void removeTimer(const std::shared_ptr<TimebaseTimer>& timer);
  // kTimebaseOK, or one of the statuses above.
  int32_t setTimerNextFireTime(const std::shared_ptr<TimebaseTimer>& timer, const MediaTime& fireTime);

 private:
  Timebase() = default;
  int64_t nowLocked(double hostTime) const;
  void scheduleLocked(TimebaseTimer& timer, bool fireIfPassed);

  mutable std::mutex mutex_;
  int64_t anchorTime_ = 0;  // nanoseconds of timebase time at anchorHostTime_
  double anchorHostTime_ = 0.0;
  double rate_ = 0.0;
  std::vector<std::shared_ptr<TimebaseTimer>> timers_;
};

// A timer of one timebase; made by Timebase::addTimer.
class TimebaseTimer final {
 public:
  TimebaseTimer(DispatchQueuePtr queue, Task handler);
  TimebaseTimer(const TimebaseTimer&) = delete;
  TimebaseTimer& operator=(const TimebaseTimer&) = delete;

 private:
  friend class Timebase;
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace plexora::platform

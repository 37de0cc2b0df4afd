// The one time source of the library and the platform layer.
//
// Every wall-clock reading, monotonic (media) time reading and every delayed
// piece of work goes through the current Clock, so a test can swap in a
// ManualClock and cover minutes of timers in milliseconds of real time.
//
// Thread safety: every member may be called from any thread.
// Ownership: the process holds the current clock in a shared_ptr; ScopedClock
// installs another one for the life of a scope (tests only).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace plexora::platform {

// Seconds between 1970-01-01 and 2001-01-01, the second epoch the wire uses.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;

class Clock {
 public:
  using WakeupId = std::uint64_t;

  virtual ~Clock() = default;

  // Seconds since 1970-01-01 00:00 UTC.
  virtual double wallTime() const = 0;
  // Seconds since an arbitrary fixed point (boot); never goes backwards.
  virtual double monotonicTime() const = 0;
  // Seconds since 2001-01-01 00:00 UTC.
  double timeSinceReferenceDate() const { return wallTime() - kSecondsFrom1970To2001; }

  // Calls `wakeup` once, on a thread of the clock's choosing, when
  // monotonicTime() reaches `deadline` (a NaN deadline is already due). The callback must be short: it is
  // meant to hand work to a dispatch queue. Answers an id for cancelWakeup.
  virtual WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) = 0;
  // Forgets a wakeup that has not run yet; a no-op otherwise.
  virtual void cancelWakeup(WakeupId id) = 0;

  // The clock in force for the process (a SystemClock unless replaced).
  static std::shared_ptr<Clock> current();
  static void setCurrent(std::shared_ptr<Clock> clock);
};

// The real clock: CLOCK_REALTIME and CLOCK_MONOTONIC, wakeups from one
// background thread.
class SystemClock final : public Clock {
 public:
  SystemClock();
  ~SystemClock() override;
  SystemClock(const SystemClock&) = delete;
  SystemClock& operator=(const SystemClock&) = delete;

  double wallTime() const override;
  double monotonicTime() const override;
  WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) override;
  void cancelWakeup(WakeupId id) override;

 private:
  struct Impl;
  // Shared with the wakeup thread, which may outlive the clock when the last
  // reference to it is dropped inside one of its own wakeups.
  std::shared_ptr<Impl> impl_;
};

// A clock that moves only when a test advances it.
//
// advance() walks the pending wakeups in deadline order: it sets the time to
// each deadline, runs the wakeup (which queues the work on its dispatch
// queue) and then settles the dispatch system (see DispatchQueue::settle), so
// delayed blocks and timer ticks run in time order on their own queues before
// the next one is due. Called on the main thread, settling also runs the main
// queue. Wakeups scheduled while advancing are honoured if they fall inside
// the advanced span; wakeups due at the same time fire in scheduling order.
// Never advance from a queue's task (settling would wait for itself).
class ManualClock final : public Clock {
 public:
  // Starts at the given wall time (seconds since 1970) and monotonic time.
  explicit ManualClock(double wallTime = 1.7e9, double monotonicTime = 1000.0);
  ~ManualClock() override;
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  double wallTime() const override;
  double monotonicTime() const override;
  WakeupId scheduleWakeup(double deadline, std::function<void()> wakeup) override;
  void cancelWakeup(WakeupId id) override;

  // Moves both times forward by `seconds` (a negative span counts as zero),
  // firing what falls due.
  void advance(double seconds);
  // Number of wakeups not yet fired.
  std::size_t pendingWakeups() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Installs a clock for the life of the scope and restores the previous one.
class ScopedClock {
 public:
  explicit ScopedClock(std::shared_ptr<Clock> clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  std::shared_ptr<Clock> previous_;
};

}  // namespace plexora::platform

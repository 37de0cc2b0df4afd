// The pending wakeups of a clock, in deadline order (ties in scheduling
// order), findable by id for cancellation.
//
// Thread safety: none; each clock guards its schedule with its own mutex.
// Wakeups taken out are returned to the caller, who runs or destroys them
// outside that mutex (what they captured may call back into the clock).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace plexora::platform::detail {

class WakeupSchedule {
 public:
  using WakeupId = std::uint64_t;
  using Wakeup = std::function<void()>;

  // A NaN deadline counts as already due.
  WakeupId add(double deadline, Wakeup wakeup);
  // The wakeup, or an empty function when it already ran or was removed.
  Wakeup remove(WakeupId id);
  // The earliest deadline, if any.
  std::optional<double> nextDeadline() const;
  // Takes the earliest wakeup when its deadline is not after `limit`.
  std::optional<std::pair<double, Wakeup>> takeFirstDueBy(double limit);
  // Takes every wakeup, for a clock going away.
  std::map<std::pair<double, WakeupId>, Wakeup> takeAll();
  std::size_t size() const { return wakeups_.size(); }

 private:
  using Key = std::pair<double, WakeupId>;  // Deadline, then scheduling order.
  std::map<Key, Wakeup> wakeups_;
  std::map<WakeupId, double> deadlines_;
  WakeupId nextId_ = 1;
};

}  // namespace plexora::platform::detail

#include "platform/dispatch/WakeupSchedule.h"

#include "platform/dispatch/TimeValues.h"

namespace plexora::platform::detail {

WakeupSchedule::WakeupId WakeupSchedule::add(double deadline, Wakeup wakeup) {
  deadline = orderableDeadline(deadline);
  const WakeupId id = nextId_++;
  wakeups_.emplace(Key{deadline, id}, std::move(wakeup));
  deadlines_.emplace(id, deadline);
  return id;
}

WakeupSchedule::Wakeup WakeupSchedule::remove(WakeupId id) {
  auto found = deadlines_.find(id);
  if (found == deadlines_.end()) {
    return {};
  }
  auto entry = wakeups_.find(Key{found->second, id});
  Wakeup wakeup = std::move(entry->second);
  wakeups_.erase(entry);
  deadlines_.erase(found);
  return wakeup;
}

std::optional<double> WakeupSchedule::nextDeadline() const {
  if (wakeups_.empty()) {
    return std::nullopt;
  }
  return wakeups_.begin()->first.first;
}

std::optional<std::pair<double, WakeupSchedule::Wakeup>> WakeupSchedule::takeFirstDueBy(double limit) {
  auto first = wakeups_.begin();
  if (first == wakeups_.end() || first->first.first > limit) {
    return std::nullopt;
  }
  std::pair<double, Wakeup> due{first->first.first, std::move(first->second)};
  deadlines_.erase(first->first.second);
  wakeups_.erase(first);
  return due;
}

std::map<std::pair<double, WakeupSchedule::WakeupId>, WakeupSchedule::Wakeup> WakeupSchedule::takeAll() {
  deadlines_.clear();
  return std::exchange(wakeups_, {});
}

}  // namespace plexora::platform::detail

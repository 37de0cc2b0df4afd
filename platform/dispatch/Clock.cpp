#include "platform/dispatch/Clock.h"

#include <mutex>
#include <utility>

namespace plexora::platform {

namespace {

struct CurrentClock {
  std::mutex mutex;
  std::shared_ptr<Clock> clock;
};

CurrentClock& currentClock() {
  // Deliberately leaked: pool threads may read the clock while static
  // destructors run at exit.
  static CurrentClock* const current = new CurrentClock{{}, std::make_shared<SystemClock>()};
  return *current;
}

}  // namespace

std::shared_ptr<Clock> Clock::current() {
  auto& current = currentClock();
  std::lock_guard lock(current.mutex);
  return current.clock;
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
  auto& current = currentClock();
  std::shared_ptr<Clock> replaced;
  {
    std::lock_guard lock(current.mutex);
    replaced = std::exchange(current.clock, std::move(clock));
  }
  // `replaced` may be the last reference; its destructor runs unlocked.
}

ScopedClock::ScopedClock(std::shared_ptr<Clock> clock) : previous_(Clock::current()) {
  Clock::setCurrent(std::move(clock));
}

ScopedClock::~ScopedClock() { Clock::setCurrent(std::move(previous_)); }

}  // namespace plexora::platform

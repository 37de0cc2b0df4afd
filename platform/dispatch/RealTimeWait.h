// Real-time waits shared by the blocking primitives of the dispatch layer.
//
// A timeout in seconds becomes a steady-clock deadline; a negative timeout
// (or one too large to represent) means "wait forever".
//
// Thread safety: free functions without shared state.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace plexora::platform::detail {

using SteadyDeadline = std::optional<std::chrono::steady_clock::time_point>;

SteadyDeadline deadlineAfter(double timeoutSeconds);

// Milliseconds left until the deadline, rounded up, for poll(); -1 = forever.
int pollTimeoutUntil(const SteadyDeadline& deadline);

// Waits on `condition` until `ready()` or the deadline; answers ready().
template <class Predicate>
bool waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
               const SteadyDeadline& deadline, Predicate ready) {
  if (!deadline) {
    condition.wait(lock, ready);
    return true;
  }
  return condition.wait_until(lock, *deadline, ready);
}

}  // namespace plexora::platform::detail

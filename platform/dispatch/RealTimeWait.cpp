#include "platform/dispatch/RealTimeWait.h"

#include <climits>
#include <cmath>

namespace plexora::platform::detail {

namespace {
// Anything longer than this is as good as forever and would overflow the
// steady clock's representation.
constexpr double kLongestFiniteWaitSeconds = 1.0e9;
}  // namespace

SteadyDeadline deadlineAfter(double timeoutSeconds) {
  if (std::isnan(timeoutSeconds)) {
    timeoutSeconds = 0.0;
  }
  if (timeoutSeconds < 0.0 || timeoutSeconds > kLongestFiniteWaitSeconds) {
    return std::nullopt;
  }
  auto span = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(timeoutSeconds));
  return std::chrono::steady_clock::now() + span;
}

int pollTimeoutUntil(const SteadyDeadline& deadline) {
  if (!deadline) {
    return -1;
  }
  auto left = *deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) {
    return 0;
  }
  auto millis = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return millis > INT_MAX ? INT_MAX : static_cast<int>(millis);
}

}  // namespace plexora::platform::detail

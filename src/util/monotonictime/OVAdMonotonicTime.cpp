#include "util/monotonictime/OVAdMonotonicTime.h"

#include <cmath>

#include "platform/dispatch/Clock.h"

namespace plexora {
namespace {

constexpr double kNanosecondsPerSecond = 1'000'000'000.0;

}  // namespace

std::uint64_t OVAdMonotonicTimeNanoseconds() {
  const double seconds = platform::Clock::current()->monotonicTime();
  if (!(seconds > 0.0)) return 0;
  return static_cast<std::uint64_t>(std::llround(seconds * kNanosecondsPerSecond));
}

double OVAdMonotonicTimeSeconds() {
  return static_cast<double>(OVAdMonotonicTimeNanoseconds()) / kNanosecondsPerSecond;
}

}  // namespace plexora

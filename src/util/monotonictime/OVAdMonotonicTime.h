// The library's monotonic clock: time since an arbitrary fixed point (boot),
// never going backwards, read from the current platform Clock so tests can
// drive it with a ManualClock.
//
// Thread safety: callable from any thread.
#pragma once

#include <cstdint>

namespace plexora {

// Whole nanoseconds of the monotonic clock.
std::uint64_t OVAdMonotonicTimeNanoseconds();

// The same in seconds, with fraction.
double OVAdMonotonicTimeSeconds();

}  // namespace plexora

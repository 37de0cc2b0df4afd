// Guards for times handed in by callers, so that a NaN or negative span can
// neither disorder a wakeup list nor make a clock jump, and an infinite or
// absurdly long one never overflows a conversion to integer nanoseconds.
//
// Thread safety: pure functions.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace plexora::platform::detail {

// Delays at least this long (about 31 years) all mean "far future": they
// are scheduled this far ahead, which keeps every deadline finite.
inline constexpr double kFarFutureSeconds = 1.0e9;

// The longest a clock thread sleeps in one wait; a later deadline is simply
// looked at again after it. Far below the ~292 years of 64-bit nanoseconds.
inline constexpr double kLongestClockWaitSeconds = 86400.0;

// A delay or span in seconds: NaN and negative values count as zero.
inline double nonNegativeSeconds(double seconds) { return seconds > 0.0 ? seconds : 0.0; }

// A delay before scheduled work: NaN and negative values count as zero,
// infinite and absurd ones as kFarFutureSeconds.
inline double boundedDelay(double seconds) { return std::min(nonNegativeSeconds(seconds), kFarFutureSeconds); }

// A wakeup deadline that orders strictly: NaN becomes "already due".
inline double orderableDeadline(double deadline) {
  return std::isnan(deadline) ? -std::numeric_limits<double>::infinity() : deadline;
}

}  // namespace plexora::platform::detail

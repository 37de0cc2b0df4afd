// Guards for times handed in by callers, so that a NaN or negative span can
// neither disorder a wakeup list nor make a clock jump.
//
// Thread safety: pure functions.
#pragma once

#include <cmath>
#include <limits>

namespace plexora::platform::detail {

// A delay or span in seconds: NaN and negative values count as zero.
inline double nonNegativeSeconds(double seconds) { return seconds > 0.0 ? seconds : 0.0; }

// A wakeup deadline that orders strictly: NaN becomes "already due".
inline double orderableDeadline(double deadline) {
  return std::isnan(deadline) ? -std::numeric_limits<double>::infinity() : deadline;
}

}  // namespace plexora::platform::detail

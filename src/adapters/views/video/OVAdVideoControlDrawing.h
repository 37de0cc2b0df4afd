// Shared pieces of the drawn video controls: the shadows they cast and the
// clamped ratio of a played time to a length.
//
// Thread safety: pure functions.
#pragma once

#include <algorithm>
#include <cmath>

#include "platform/ui/GraphicsContext.h"

namespace plexora::videocontrols {

// A position over a length as a fraction from 0 to 1 (a position past the
// end is 1): 0 when the length is not above 0 or the quotient is not a
// finite number.
inline double clampedRatio(double position, double length) {
  if (!(length > 0.0)) return 0.0;
  const double ratio = position / length;
  if (!std::isfinite(ratio)) return 0.0;
  return std::clamp(ratio, 0.0, 1.0);
}

// The soft dark halo the controls keep their shapes legible with over any
// picture.
inline platform::Shadow shadow(double offset, double blur, double alpha) {
  return platform::Shadow{platform::Size{offset, offset}, blur, platform::Color::grey(0.0, alpha)};
}

}  // namespace plexora::videocontrols

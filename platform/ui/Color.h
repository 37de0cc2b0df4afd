// Colours of the UI model: red, green, blue and alpha components from 0 to 1.
//
// Thread safety: plain values.
#pragma once

#include "platform/Export.h"

namespace plexora::platform {

struct PLEXORA_EXPORT Color {
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 1.0;

  static constexpr Color clear() { return {0.0, 0.0, 0.0, 0.0}; }
  static constexpr Color black() { return {0.0, 0.0, 0.0, 1.0}; }
  static constexpr Color white() { return {1.0, 1.0, 1.0, 1.0}; }
  // A grey: `white` of every component.
  static constexpr Color grey(double white, double alpha) { return {white, white, white, alpha}; }

  bool operator==(const Color&) const = default;
};

}  // namespace plexora::platform

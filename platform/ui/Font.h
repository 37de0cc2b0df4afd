// A font as the UI model knows it: a name, a point size and whether it is
// bold. Every name draws with the packaged sans-serif face, regular or
// bold.
//
// Thread safety: plain values.
#pragma once

#include <string>

#include "platform/Export.h"

namespace plexora::platform {

struct PLEXORA_EXPORT Font {
  static constexpr const char* kSystemFontName = "System";
  // The platform's standard text sizes, in points.
  static constexpr double kSystemFontSize = 14.0;
  static constexpr double kSmallSystemFontSize = 12.0;
  static constexpr double kLabelFontSize = 17.0;
  static constexpr double kButtonFontSize = 18.0;

  std::string name = kSystemFontName;
  double pointSize = kLabelFontSize;
  bool bold = false;

  static Font systemFont(double pointSize) { return Font{kSystemFontName, pointSize, false}; }
  static Font boldSystemFont(double pointSize) { return Font{kSystemFontName, pointSize, true}; }

  bool operator==(const Font&) const = default;
};

}  // namespace plexora::platform

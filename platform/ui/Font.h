// A font as the headless UI model knows it: a name, a point size and
// whether it is bold. Text measurement derives from the size alone.
//
// Thread safety: plain values.
#pragma once

#include <string>

namespace plexora::platform {

struct Font {
  static constexpr const char* kSystemFontName = "System";

  std::string name = kSystemFontName;
  double pointSize = 17.0;
  bool bold = false;

  static Font systemFont(double pointSize) { return Font{kSystemFontName, pointSize, false}; }
  static Font boldSystemFont(double pointSize) { return Font{kSystemFontName, pointSize, true}; }

  bool operator==(const Font&) const = default;
};

}  // namespace plexora::platform

// Deterministic text measurement for the headless model: every character
// (Unicode code point) is half the font size wide and a line is 1.2 times
// the font size high. Text wraps at spaces (a word longer than a line is
// cut between characters) and breaks at every "\n".
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

inline constexpr double kCharacterWidthPerPoint = 0.5;
inline constexpr double kLineHeightPerPoint = 1.2;

// The lines `text` takes within `maxWidth` points (no limit when it is not
// above 0). Empty text has no lines; an empty paragraph is an empty line.
std::vector<std::string> wrapText(std::string_view text, const Font& font, double maxWidth);

// The size of `text` within `maxWidth` (no limit when not above 0) and
// `maxLines` (no limit when 0). Text cut short by the line limit fills the
// whole width, as a truncated line does.
Size measureText(std::string_view text, const Font& font, double maxWidth, int maxLines);

}  // namespace plexora::platform

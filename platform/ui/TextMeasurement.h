// Text measurement with the engine that draws the text (Pango, over the
// packaged font; see TextEngine.h): sizes are in points, rounded up to
// whole points. Text wraps between words (a word longer than a line is cut
// between characters) and breaks at every "\n". Only the first
// 500,000 / the font size bytes (some 29,000 at 17 points) are measured and
// drawn; no label shows more.
//
// Thread safety: callable from any thread (the engine serialises its use).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

// The lines `text` takes within `maxWidth` points (no limit when it is not
// above 0), without the spaces where they wrap. Empty text has no lines; an
// empty paragraph is an empty line. Invalid UTF-8 comes back as U+FFFD.
std::vector<std::string> wrapText(std::string_view text, const Font& font, double maxWidth);

// The size of `text` within `maxWidth` (no limit when not above 0) and
// `maxLines` (no limit when 0). Text cut short by the line limit fills the
// whole width, as a truncated line does. Empty text, or a font whose size
// is not above 0, has no size.
Size measureText(std::string_view text, const Font& font, double maxWidth, int maxLines);

}  // namespace plexora::platform

// Text composed for a label: the whole text laid out within a width, cut
// to a line limit. Under a truncating line break mode the last line shown
// is laid out again from everything that did not fit, on one line that
// ends, starts or breaks in the middle with an ellipsis; under the other
// modes the lines past the limit are simply not shown. With no width limit
// nothing can be truncated, and the lines past the limit are dropped.
//
// Both measurement and drawing use it, so a label draws exactly the lines
// its size was measured for.
//
// An internal header of platform/ui.
// Thread safety: make, use and destroy it with the text engine's lock held
// (lockTextEngine()).
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextEngine.h"

namespace plexora::platform::text {

struct TextStyle {
  Font font;
  // Not above 0: no limit.
  double maxWidth = 0.0;
  // 0: no limit.
  int maxLines = 0;
  LineBreakMode lineBreakMode = LineBreakMode::TruncatingTail;
  TextAlignment alignment = TextAlignment::Natural;
};

class ComposedText {
 public:
  // `text` comes from layoutText() for the style's font.
  ComposedText(const std::string& text, const TextStyle& style);

  // Whole points, rounded up. Text cut short by the line limit within a
  // width fills that width, as a truncated line does. Empty text (or a font
  // without a size) has no size.
  Size size() const;
  // The height the lines take, unrounded.
  double exactHeight() const;
  // The text's lines without their trailing spaces and line breaks, before
  // any line limit.
  std::vector<std::string> allLines() const;
  // How many of the lines (before any limit) fit one under the other
  // within `height`; at least 1.
  int linesFitting(double height) const;

  // Draws the lines shown, the first line's top at origin.y, aligned
  // within maxWidth from origin.x.
  void draw(cairo_t* cairo, Point origin, Color color) const;

 private:
  struct Line {
    int index;        // in body_
    double x;         // left edge, from the layout's alignment
    double top;
    double baseline;
    double width;
    double height;
  };

  void composeBody(const TextStyle& style);
  void composeLastLine(const TextStyle& style);

  std::string text_;
  LayoutPtr body_;
  std::vector<Line> bodyLines_;  // every line of body_
  std::size_t shownLines_ = 0;   // how many of bodyLines_ are shown
  LayoutPtr lastLine_;           // the truncated last line, when there is one
  bool cut_ = false;
  double maxWidth_ = 0.0;
};

}  // namespace plexora::platform::text

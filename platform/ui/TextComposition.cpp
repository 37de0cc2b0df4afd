#include "platform/ui/TextComposition.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/ui/CairoDrawing.h"

namespace plexora::platform::text {
namespace {

// Tolerance for lines that end exactly at a height.
constexpr double kHeightSlack = 0.01;

PangoAlignment pangoAlignment(TextAlignment alignment) {
  switch (alignment) {
    case TextAlignment::Center:
      return PANGO_ALIGN_CENTER;
    case TextAlignment::Right:
      return PANGO_ALIGN_RIGHT;
    case TextAlignment::Left:
    case TextAlignment::Justified:
    case TextAlignment::Natural:
      break;
  }
  return PANGO_ALIGN_LEFT;
}

void applyAlignment(PangoLayout* layout, TextAlignment alignment) {
  pango_layout_set_alignment(layout, pangoAlignment(alignment));
  pango_layout_set_justify(layout, alignment == TextAlignment::Justified);
}

std::optional<PangoEllipsizeMode> ellipsisFor(LineBreakMode mode) {
  switch (mode) {
    case LineBreakMode::TruncatingHead:
      return PANGO_ELLIPSIZE_START;
    case LineBreakMode::TruncatingMiddle:
      return PANGO_ELLIPSIZE_MIDDLE;
    case LineBreakMode::TruncatingTail:
      return PANGO_ELLIPSIZE_END;
    case LineBreakMode::WordWrapping:
    case LineBreakMode::CharWrapping:
    case LineBreakMode::Clipping:
      break;
  }
  return std::nullopt;
}

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

}  // namespace

ComposedText::ComposedText(const std::string& text, const TextStyle& style)
    : text_(text), maxWidth_(style.maxWidth > 0.0 ? style.maxWidth : 0.0) {
  if (text_.empty() || !isDrawableFont(style.font)) return;
  composeBody(style);
  cut_ = style.maxLines > 0 && bodyLines_.size() > static_cast<std::size_t>(style.maxLines);
  shownLines_ = cut_ ? static_cast<std::size_t>(style.maxLines) : bodyLines_.size();
  if (cut_ && maxWidth_ > 0.0 && ellipsisFor(style.lineBreakMode)) {
    --shownLines_;
    composeLastLine(style);
  }
}

void ComposedText::composeBody(const TextStyle& style) {
  body_ = makeLayout(text_, style.font, maxWidth_, style.lineBreakMode == LineBreakMode::CharWrapping);
  applyAlignment(body_.get(), style.alignment);
  PangoLayoutIter* iter = pango_layout_get_iter(body_.get());
  int index = 0;
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    bodyLines_.push_back(Line{index++, points(logical.x), points(logical.y), points(pango_layout_iter_get_baseline(iter)),
                              points(logical.width), points(logical.height)});
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
}

void ComposedText::composeLastLine(const TextStyle& style) {
  // Everything from the first line that does not fit, on one line.
  const PangoLayoutLine* first = pango_layout_get_line_readonly(body_.get(), static_cast<int>(shownLines_));
  std::string rest = text_.substr(static_cast<std::size_t>(first->start_index));
  std::replace_if(rest.begin(), rest.end(), isLineBreak, ' ');
  lastLine_ = makeLayout(rest, style.font, maxWidth_, false);
  // Separators other than the line breaks replaced above must not open a
  // second line either.
  pango_layout_set_single_paragraph_mode(lastLine_.get(), TRUE);
  applyAlignment(lastLine_.get(), style.alignment);
  pango_layout_set_ellipsize(lastLine_.get(), *ellipsisFor(style.lineBreakMode));
}

double ComposedText::exactHeight() const {
  double height = shownLines_ > 0 ? bodyLines_[shownLines_ - 1].top + bodyLines_[shownLines_ - 1].height : 0.0;
  if (lastLine_) {
    PangoRectangle logical;
    pango_layout_get_extents(lastLine_.get(), nullptr, &logical);
    height += points(logical.height);
  }
  return height;
}

Size ComposedText::size() const {
  double width = 0.0;
  for (std::size_t i = 0; i < shownLines_; ++i) width = std::max(width, bodyLines_[i].width);
  if (lastLine_) {
    PangoRectangle logical;
    pango_layout_get_extents(lastLine_.get(), nullptr, &logical);
    width = std::max(width, points(logical.width));
  }
  width = std::ceil(width);
  if (maxWidth_ > 0.0 && (cut_ || width > maxWidth_)) width = maxWidth_;
  return Size{width, std::ceil(exactHeight())};
}

std::vector<std::string> ComposedText::allLines() const {
  std::vector<std::string> lines;
  for (const Line& line : bodyLines_) {
    const PangoLayoutLine* layoutLine = pango_layout_get_line_readonly(body_.get(), line.index);
    std::string text = text_.substr(static_cast<std::size_t>(layoutLine->start_index),
                                    static_cast<std::size_t>(layoutLine->length));
    while (!text.empty() && (text.back() == ' ' || isLineBreak(text.back()))) text.pop_back();
    lines.push_back(std::move(text));
  }
  return lines;
}

int ComposedText::linesFitting(double height) const {
  int fitting = 0;
  for (const Line& line : bodyLines_) {
    if (line.top + line.height > height + kHeightSlack) break;
    ++fitting;
  }
  return std::max(fitting, 1);
}

void ComposedText::draw(cairo_t* cairo, Point origin, Color color) const {
  if (shownLines_ == 0 && !lastLine_) return;
  cairo_save(cairo);
  drawing::setSourceColor(cairo, color);
  for (std::size_t i = 0; i < shownLines_; ++i) {
    const Line& line = bodyLines_[i];
    cairo_move_to(cairo, origin.x + line.x, origin.y + line.baseline);
    pango_cairo_show_layout_line(cairo, pango_layout_get_line_readonly(body_.get(), line.index));
  }
  if (lastLine_) {
    const double top = shownLines_ > 0 ? bodyLines_[shownLines_ - 1].top + bodyLines_[shownLines_ - 1].height : 0.0;
    cairo_move_to(cairo, origin.x, origin.y + top);
    pango_cairo_show_layout(cairo, lastLine_.get());
  }
  cairo_restore(cairo);
}

}  // namespace plexora::platform::text

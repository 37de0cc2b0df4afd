// A label: text in one font and colour, measured and drawn by the same
// text engine. The text is drawn centred
// vertically in the bounds (from the top when it is taller), aligned
// within the bounds' width, on at most numberOfLines lines and no more
// lines than the bounds' height holds; the line break mode says what the
// last line shows when the text does not fit.
// Natural alignment follows the text's direction. Labels take no touches
// by default.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/Export.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/View.h"

namespace plexora::platform {

enum class TextAlignment : std::int64_t { Left = 0, Center = 1, Right = 2, Justified = 3, Natural = 4 };

enum class LineBreakMode : std::int64_t {
  WordWrapping = 0,
  CharWrapping = 1,
  Clipping = 2,
  TruncatingHead = 3,
  TruncatingTail = 4,
  TruncatingMiddle = 5,
};

class PLEXORA_EXPORT Label : public View {
 public:
  Label();
  explicit Label(Rect frame);

  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text); }
  const Font& font() const { return font_; }
  void setFont(Font font) { font_ = std::move(font); }
  const Color& textColor() const { return textColor_; }
  void setTextColor(Color color) { textColor_ = color; }
  TextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(TextAlignment alignment) { textAlignment_ = alignment; }
  // 0: as many lines as the text needs.
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int lines) { numberOfLines_ = lines < 0 ? 0 : lines; }
  LineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(LineBreakMode mode) { lineBreakMode_ = mode; }

  // The text's size within size.width (no limit when it is not above 0) and
  // numberOfLines; the height asked for is not a limit.
  Size sizeThatFits(Size size) const override;
  // The text's size on unlimited width.
  Size intrinsicContentSize() const override;

  void draw(GraphicsContext& context, Rect rect) const override;

 private:
  std::string text_;
  Font font_ = Font::systemFont(17.0);
  Color textColor_ = Color::black();
  TextAlignment textAlignment_ = TextAlignment::Natural;
  int numberOfLines_ = 1;
  LineBreakMode lineBreakMode_ = LineBreakMode::TruncatingTail;
};

}  // namespace plexora::platform

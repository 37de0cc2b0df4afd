#include "platform/ui/Label.h"

#include <algorithm>
#include <memory>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/TextComposition.h"
#include "platform/ui/TextMeasurement.h"

namespace plexora::platform {

Label::Label() : Label(Rect::zero()) {}

Label::Label(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

Size Label::sizeThatFits(Size size) const { return measureText(text_, font_, size.width, numberOfLines_); }

Size Label::intrinsicContentSize() const { return measureText(text_, font_, 0.0, numberOfLines_); }

void Label::draw(GraphicsContext& context, Rect rect) const {
  if (text_.empty() || rect.isEmpty() || !text::isDrawableFont(font_)) return;
  const auto lock = text::lockTextEngine();
  const std::string text = text::layoutText(text_, font_);
  text::TextStyle style{font_, rect.width(), numberOfLines_, lineBreakMode_, textAlignment_};
  auto composed = std::make_unique<text::ComposedText>(text, style);
  if (composed->exactHeight() > rect.height()) {
    // Only whole lines are shown: as many as the height holds.
    const int fitting = composed->linesFitting(rect.height());
    if (style.maxLines == 0 || fitting < style.maxLines) {
      style.maxLines = fitting;
      composed = std::make_unique<text::ComposedText>(text, style);
    }
  }
  const double top = rect.minY() + std::max(0.0, (rect.height() - composed->exactHeight()) / 2.0);
  cairo_t* cairo = context.cairo();
  composed->draw(cairo, Point{rect.minX(), top}, textColor_);
}

}  // namespace plexora::platform

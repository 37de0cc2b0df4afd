#include "adapters/views/video/OVInstreamAdButton.h"

#include "platform/ui/TextMeasurement.h"

namespace plexora {

namespace {

using platform::Color;

constexpr Color kBackgroundColor = Color::grey(0.0, 0.6F);
constexpr Color kTextColor = Color::grey(0.8F, 1.0);

}  // namespace

OVInstreamAdButton::OVInstreamAdButton() : OVInstreamAdButton(platform::Rect()) {}

OVInstreamAdButton::OVInstreamAdButton(platform::Rect frame) : Label(frame) { setDefaults(); }

void OVInstreamAdButton::setDefaults() {
  setUserInteractionEnabled(true);
  setBackgroundColor(kBackgroundColor);
  setFont(platform::Font::systemFont(kFontSize));
  setLineBreakMode(platform::LineBreakMode::Clipping);
  setTextAlignment(platform::TextAlignment::Center);
  setTextColor(kTextColor);
}

void OVInstreamAdButton::sizeToFitText() {
  const double width = platform::measureText(text(), font(), 0.0, 0).width;
  setFrame({frame().origin, platform::Size{width + kHorizontalPadding, kHeight}});
}

}  // namespace plexora

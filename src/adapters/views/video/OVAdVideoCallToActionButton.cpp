#include "adapters/views/video/OVAdVideoCallToActionButton.h"

#include "platform/ui/TextMeasurement.h"

namespace plexora {

namespace {

using platform::Color;

constexpr Color kBackgroundColor = Color::grey(0.0, 0.1F);
constexpr Color kBorderColor = Color::grey(1.0, 0.5F);
constexpr double kBorderWidth = 1.0;

}  // namespace

std::shared_ptr<OVAdVideoCallToActionButton> OVAdVideoCallToActionButton::initWithText(const std::string& text) {
  auto button = std::make_shared<OVAdVideoCallToActionButton>(platform::Rect());
  button->setTitle(text, platform::kControlStateNormal);
  button->sizeToFitText();
  button->setDefaults();
  return button;
}

void OVAdVideoCallToActionButton::setDefaults() {
  setUserInteractionEnabled(true);
  setBackgroundColor(kBackgroundColor);
  const auto label = titleLabel();
  label->setFont(platform::Font::systemFont(kFontSize));
  label->setLineBreakMode(platform::LineBreakMode::Clipping);
  setTitleColor(Color::white(), platform::kControlStateNormal);
  setCornerRadius(kCornerRadius);
  setBorderColor(kBorderColor);
  setBorderWidth(kBorderWidth);
  setClipsToBounds(true);
}

void OVAdVideoCallToActionButton::sizeToFitText() {
  const std::string text = title(platform::kControlStateNormal).value_or("");
  const double width = platform::measureText(text, titleLabel()->font(), 0.0, 1).width;
  setFrame({frame().origin, platform::Size{width, kHeight}});
}

}  // namespace plexora

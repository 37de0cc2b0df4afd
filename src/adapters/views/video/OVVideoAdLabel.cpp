#include "adapters/views/video/OVVideoAdLabel.h"

#include "platform/ui/Screen.h"

namespace plexora {

namespace {

using platform::Color;

constexpr Color kBackgroundColor = Color::grey(0.0, 0.6F);
constexpr Color kTextColor = Color::grey(0.8F, 1.0);

}  // namespace

std::shared_ptr<OVVideoAdLabel> OVVideoAdLabel::initWithText(const std::string& text) {
  auto label = std::make_shared<OVVideoAdLabel>();
  label->setText(text);
  const double width = platform::Screen::main()->bounds().width() / 2.0;
  const platform::Size size = label->sizeThatFits({width, kFittingHeight});
  label->setFrame({platform::Point{0.0, 0.0}, size});
  return label;
}

OVVideoAdLabel::OVVideoAdLabel() : OVVideoAdLabel(platform::Rect()) {}

OVVideoAdLabel::OVVideoAdLabel(platform::Rect frame) : Label(frame) { setDefaults(); }

void OVVideoAdLabel::setDefaults() {
  setBackgroundColor(kBackgroundColor);
  setFont(platform::Font::systemFont(kFontSize));
  setNumberOfLines(0);
  setLineBreakMode(platform::LineBreakMode::WordWrapping);
  setTextAlignment(platform::TextAlignment::Center);
  setTextColor(kTextColor);
}

}  // namespace plexora

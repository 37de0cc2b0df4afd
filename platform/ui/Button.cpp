#include "platform/ui/Button.h"

#include <algorithm>
#include <utility>

#include "platform/ui/Image.h"
#include "platform/ui/TextMeasurement.h"

namespace plexora::platform {

namespace {

template <typename Value>
const Value* lookUp(const std::map<ControlState, Value>& values, ControlState state) {
  if (auto found = values.find(state); found != values.end()) {
    return &found->second;
  }
  if (auto normal = values.find(kControlStateNormal); normal != values.end()) {
    return &normal->second;
  }
  return nullptr;
}

}  // namespace

void Button::setTitle(std::optional<std::string> title, ControlState state) {
  if (title) {
    titles_[state] = std::move(*title);
  } else {
    titles_.erase(state);
  }
  refreshTitleLabel();
}

std::optional<std::string> Button::title(ControlState state) const {
  const std::string* found = lookUp(titles_, state);
  return found ? std::optional<std::string>(*found) : std::nullopt;
}

void Button::setTitleColor(std::optional<Color> color, ControlState state) {
  if (color) {
    titleColors_[state] = *color;
  } else {
    titleColors_.erase(state);
  }
  refreshTitleLabel();
}

Color Button::titleColor(ControlState state) const {
  const Color* found = lookUp(titleColors_, state);
  return found ? *found : Color::white();
}

void Button::setImage(std::shared_ptr<Image> image, ControlState state) {
  if (image) {
    images_[state] = std::move(image);
  } else {
    images_.erase(state);
  }
}

std::shared_ptr<Image> Button::image(ControlState state) const {
  const std::shared_ptr<Image>* found = lookUp(images_, state);
  return found ? *found : nullptr;
}

std::shared_ptr<Label> Button::titleLabel() {
  if (!titleLabel_) {
    titleLabel_ = std::make_shared<Label>(Rect(Point{}, bounds().size));
    titleLabel_->setFont(Font::systemFont(kDefaultTitleFontSize));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    titleLabel_->setAutoresizingMask(kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight);
    addSubview(titleLabel_);
    refreshTitleLabel();
  }
  return titleLabel_;
}

void Button::refreshTitleLabel() {
  const auto title = currentTitle();
  if (!titleLabel_) {
    if (!title) {
      return;
    }
    titleLabel();  // Makes the label, which refreshes itself.
    return;
  }
  titleLabel_->setText(title.value_or(""));
  titleLabel_->setTextColor(titleColor(state()));
}

void Button::stateDidChange() { refreshTitleLabel(); }

Size Button::sizeThatFits(Size) const {
  const auto title = currentTitle();
  const Font font = titleLabel_ ? titleLabel_->font() : Font::systemFont(kDefaultTitleFontSize);
  const Size text = measureText(title.value_or(""), font, 0.0, 1);
  const auto image = currentImage();
  const Size picture = image ? image->size() : Size{};
  return Size{text.width + picture.width, std::max(text.height, picture.height)};
}

}  // namespace plexora::platform

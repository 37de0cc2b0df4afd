#include "platform/ui/Slider.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/CairoDrawing.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Touch.h"

namespace plexora::platform {

void Slider::setValue(float value, bool /*animated*/) {
  // NaN would stick: it compares false with both ends.
  if (std::isnan(value)) value = minimumValue_;
  value_ = std::clamp(value, minimumValue_, maximumValue_);
  setNeedsLayout();
}

void Slider::setMinimumValue(float minimumValue) {
  minimumValue_ = minimumValue;
  maximumValue_ = std::max(maximumValue_, minimumValue_);
  setValue(value_);
}

void Slider::setMaximumValue(float maximumValue) {
  maximumValue_ = maximumValue;
  minimumValue_ = std::min(minimumValue_, maximumValue_);
  setValue(value_);
}

std::shared_ptr<Image> Slider::imageFor(const Images& images, ControlState state) {
  if (const auto found = images.find(state); found != images.end()) return found->second;
  const auto normal = images.find(kControlStateNormal);
  return normal != images.end() ? normal->second : nullptr;
}

void Slider::setImage(Images& images, std::shared_ptr<Image> image, ControlState state) {
  if (!image && state != kControlStateNormal) {
    images.erase(state);
  } else {
    images[state] = std::move(image);
  }
  setNeedsLayout();
}

void Slider::setThumbImage(std::shared_ptr<Image> image, ControlState state) {
  setImage(thumbImages_, std::move(image), state);
}
std::shared_ptr<Image> Slider::thumbImage(ControlState state) const { return imageFor(thumbImages_, state); }
void Slider::setMinimumTrackImage(std::shared_ptr<Image> image, ControlState state) {
  setImage(minimumTrackImages_, std::move(image), state);
}
std::shared_ptr<Image> Slider::minimumTrackImage(ControlState state) const {
  return imageFor(minimumTrackImages_, state);
}
void Slider::setMaximumTrackImage(std::shared_ptr<Image> image, ControlState state) {
  setImage(maximumTrackImages_, std::move(image), state);
}
std::shared_ptr<Image> Slider::maximumTrackImage(ControlState state) const {
  return imageFor(maximumTrackImages_, state);
}

Size Slider::thumbSize() const {
  const auto image = thumbImage(state());
  return image ? image->size() : Size{kDefaultThumbSize, kDefaultThumbSize};
}

Rect Slider::thumbRect() const {
  const Rect area = bounds();
  const Size thumb = thumbSize();
  const double range = static_cast<double>(maximumValue_) - minimumValue_;
  const double fraction = range > 0 ? (value_ - minimumValue_) / range : 0.0;
  const double travel = std::max(0.0, area.size.width - thumb.width);
  return Rect(area.origin.x + travel * fraction, area.origin.y + (area.size.height - thumb.height) / 2, thumb.width,
              thumb.height);
}

float Slider::valueForLocation(double x) const {
  const Rect area = bounds();
  const double thumbWidth = thumbSize().width;
  const double travel = area.size.width - thumbWidth;
  const double fraction = travel > 0 ? std::clamp((x - area.origin.x - thumbWidth / 2) / travel, 0.0, 1.0) : 0.0;
  return static_cast<float>(minimumValue_ + fraction * (static_cast<double>(maximumValue_) - minimumValue_));
}

bool Slider::beginTracking(const Touch& touch, const Event& /*event*/) {
  const Point location = touch.locationInView(this);
  const Rect thumb = thumbRect();
  return location.x >= thumb.origin.x && location.x <= thumb.origin.x + thumb.size.width &&
         location.y >= thumb.origin.y && location.y <= thumb.origin.y + thumb.size.height;
}

void Slider::follow(const Touches& touches, const Event& event) {
  if (touches.empty()) return;
  const float before = value_;
  setValue(valueForLocation(touches.front()->locationInView(this).x));
  if (value_ != before) sendActionsForControlEvents(kControlEventValueChanged, &event);
}

void Slider::touchesBegan(const Touches& touches, const Event& event) {
  // A touch the slider does not follow goes on to the next responder.
  if (isEnabled() && (touches.empty() || !beginTracking(*touches.front(), event))) {
    View::touchesBegan(touches, event);
    return;
  }
  Control::touchesBegan(touches, event);
}

void Slider::touchesMoved(const Touches& touches, const Event& event) {
  if (isTracking()) follow(touches, event);
  Control::touchesMoved(touches, event);
}

void Slider::touchesEnded(const Touches& touches, const Event& event) {
  if (isTracking()) follow(touches, event);
  Control::touchesEnded(touches, event);
}

void Slider::draw(GraphicsContext& context, Rect /*rect*/) const {
  const Rect thumb = thumbRect();
  const double middle = thumb.origin.x + thumb.size.width / 2;
  const Rect area = bounds();
  const auto drawStretched = [&context](const std::shared_ptr<Image>& image, Rect frame) {
    if (image && !frame.isEmpty()) drawing::drawImage(context.unclippedCairo(), *image, frame);
  };
  const auto trackImage = [this](const Images& images) { return imageFor(images, state()); };
  const double trackHeight = [&] {
    const auto image = trackImage(minimumTrackImages_);
    return image ? image->size().height : 0.0;
  }();
  const double trackY = area.origin.y + (area.size.height - trackHeight) / 2;
  drawStretched(trackImage(minimumTrackImages_), Rect(area.origin.x, trackY, middle - area.origin.x, trackHeight));
  const auto maximum = trackImage(maximumTrackImages_);
  const double maximumHeight = maximum ? maximum->size().height : 0.0;
  drawStretched(maximum, Rect(middle, area.origin.y + (area.size.height - maximumHeight) / 2,
                              area.origin.x + area.size.width - middle, maximumHeight));
  drawStretched(thumbImage(state()), thumb);
}

}  // namespace plexora::platform

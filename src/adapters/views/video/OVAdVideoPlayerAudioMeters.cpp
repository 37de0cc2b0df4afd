#include "adapters/views/video/OVAdVideoPlayerAudioMeters.h"

#include "platform/dispatch/Clock.h"

namespace plexora {

namespace {

// A 31-bit draw over 2^31.
constexpr float kFractionScale = 1.0F / 2147483648.0F;

}  // namespace

std::shared_ptr<OVAdVideoPlayerAudioMeters> OVAdVideoPlayerAudioMeters::create() {
  auto meters = std::make_shared<OVAdVideoPlayerAudioMeters>(platform::Rect());
  meters->leftMeter_ = meters->newAudioMeter();
  meters->centerMeter_ = meters->newAudioMeter();
  meters->rightMeter_ = meters->newAudioMeter();
  for (const auto& bar : {meters->leftMeter_, meters->centerMeter_, meters->rightMeter_}) meters->addSubview(bar);
  meters->layoutSubviews();
  return meters;
}

std::shared_ptr<OVAdVideoAudioMeterBar> OVAdVideoPlayerAudioMeters::newAudioMeter() {
  return std::make_shared<OVAdVideoAudioMeterBar>(platform::Rect());
}

platform::Size OVAdVideoPlayerAudioMeters::sizeThatFits(platform::Size) const {
  return {3.0 * kBarWidth + 2.0 * kBarSpacing, kBarHeight};
}

void OVAdVideoPlayerAudioMeters::layoutSubviews() {
  double x = 0.0;
  for (const auto& bar : {leftMeter_, centerMeter_, rightMeter_}) {
    bar->setFrame({x, 0.0, kBarWidth, kBarHeight});
    x += kBarWidth + kBarSpacing;
  }
}

void OVAdVideoPlayerAudioMeters::setHidden(bool hidden) {
  if (hidden == isHidden()) return;
  View::setHidden(hidden);
  startAnimatingIfNecessary();
}

void OVAdVideoPlayerAudioMeters::didMoveToSuperview() {
  View::didMoveToSuperview();
  startAnimatingIfNecessary();
}

void OVAdVideoPlayerAudioMeters::startAnimating() {
  animating_ = true;
  startAnimatingIfNecessary();
  if (hidesWhenStopped_) setHidden(false);
}

void OVAdVideoPlayerAudioMeters::stopAnimating() {
  animating_ = false;
  stopAnimation();
  if (hidesWhenStopped_) setHidden(true);
}

float OVAdVideoPlayerAudioMeters::nextFraction() { return static_cast<float>(random_() >> 1) * kFractionScale; }

void OVAdVideoPlayerAudioMeters::startAnimatingIfNecessary() {
  if (!animating_ || isHidden() || !superview()) return;
  const double now = platform::Clock::current()->monotonicTime();
  OVAdAudioMeterAnimation left{{}, kAnimationDuration, now};
  OVAdAudioMeterAnimation center = left;
  OVAdAudioMeterAnimation right = left;
  for (std::size_t frame = 0; frame < kKeyFrameCount; ++frame) {
    const float u1 = nextFraction();
    const float u2 = nextFraction();
    const float u3 = nextFraction();
    const float weight = nextFraction();
    const float a = u1 * u1;
    const float b = u2 * u2;
    const float c = u3 * u3;
    const float mean = (a + b + c) / 3.0F;
    left.values.push_back(a * (1.0F - weight) + mean * weight);
    center.values.push_back(b * (1.0F - weight) + mean * weight);
    right.values.push_back(c * (1.0F - weight) + mean * weight);
  }
  leftMeter_->setAnimation(std::move(left));
  centerMeter_->setAnimation(std::move(center));
  rightMeter_->setAnimation(std::move(right));
}

void OVAdVideoPlayerAudioMeters::stopAnimation() {
  for (const auto& bar : {leftMeter_, centerMeter_, rightMeter_}) bar->setAnimation(std::nullopt);
}

}  // namespace plexora

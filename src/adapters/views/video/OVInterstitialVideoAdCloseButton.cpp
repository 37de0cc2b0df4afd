#include "adapters/views/video/OVInterstitialVideoAdCloseButton.h"

#include <numbers>

#include "adapters/views/video/OVAdVideoControlDrawing.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

using platform::Color;
using platform::Point;

constexpr double kInsetRatio = 0.186F;
constexpr Color kDiscColor = Color::grey(1.0, 0.9F);
constexpr double kDiscShadowBlur = 4.0;
constexpr double kDiscShadowAlpha = 0.9F;
constexpr double kCrossSizeDivisor = 3.4F;
constexpr double kCrossLineWidth = 2.0;
constexpr Color kCrossColor = Color::grey(0.5F, 1.0);

}  // namespace

OVInterstitialVideoAdCloseButton::OVInterstitialVideoAdCloseButton(const platform::MediaTime& duration)
    : View(platform::Rect()), duration_(duration) {
  setBackgroundColor(Color::clear());
}

double OVInterstitialVideoAdCloseButton::completeRatio() const {
  return videocontrols::clampedRatio(currentTime_.seconds(), duration_.seconds());
}

void OVInterstitialVideoAdCloseButton::draw(platform::GraphicsContext& context, platform::Rect) const {
  const double width = bounds().width();
  const double height = bounds().height();
  const double inset = kInsetRatio * width;
  const double diameter = width - 2.0 * inset;
  const double radius = diameter / 2.0;
  const Point center{width / 2.0, height / 2.0};
  if (!(radius > 0.0)) return;

  // The shadow belongs to the disc alone.
  context.setShadow(videocontrols::shadow(0.0, kDiscShadowBlur, kDiscShadowAlpha));
  context.addArc(center, radius, 0.0, 2.0 * std::numbers::pi, true);
  context.setFillColor(kDiscColor);
  context.fillPath();
  context.setShadow(std::nullopt);

  if (currentTime_ < duration_) {
    context.moveTo(center);
    context.lineTo({width / 2.0, inset});
    context.addArc(center, radius, -std::numbers::pi / 2.0, (2.0 * completeRatio() - 0.5) * std::numbers::pi, true);
    context.closePath();
    context.setFillColor(progressColor_);
    context.fillPath();
    return;
  }
  const double side = diameter / kCrossSizeDivisor;
  const double a = inset + (diameter - side) / 2.0;
  const double b = a + side;
  context.moveTo({a, a});
  context.lineTo({b, b});
  context.moveTo({b, a});
  context.lineTo({a, b});
  context.setLineWidth(kCrossLineWidth);
  context.setLineCap(platform::LineCap::Round);
  context.setStrokeColor(kCrossColor);
  context.strokePath();
}

}  // namespace plexora

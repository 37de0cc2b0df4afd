#include "adapters/views/video/OVAdVideoSkipButton.h"

#include <numbers>

#include "adapters/views/video/OVAdVideoControlDrawing.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

using platform::Color;
using platform::Point;

constexpr double kInsetRatio = 0.186F;
constexpr Color kDiscColor = Color::grey(1.0, 0.9F);
constexpr double kDiscShadowBlur = 5.0;
constexpr double kDiscShadowAlpha = 0.9F;
constexpr double kCrossSizeDivisor = 3.4F;
constexpr double kCrossLineWidth = 2.0;
constexpr Color kCrossColor = Color::grey(0.5F, 1.0);
constexpr Color kSymbolColor = Color::grey(0.3F, 1.0);
constexpr double kTriangleRatio = 0.42F;
constexpr double kCornerRatio = 0.05F;
constexpr double kBarWidthRatio = 0.13F;
constexpr double kBarHalfLengthRatio = 0.33F;

}  // namespace

OVAdVideoSkipButton::OVAdVideoSkipButton(const platform::MediaTime& duration, std::int64_t iconType)
    : View(platform::Rect()), duration_(duration), iconType_(iconType) {
  setBackgroundColor(Color::clear());
}

double OVAdVideoSkipButton::completeRatio() const {
  return videocontrols::clampedRatio(currentTime_.seconds(), duration_.seconds());
}

void OVAdVideoSkipButton::draw(platform::GraphicsContext& context, platform::Rect) const {
  const double width = bounds().width();
  const double height = bounds().height();
  const double inset = kInsetRatio * width;
  const double diameter = width - 2.0 * inset;
  const Point center{width / 2.0, height / 2.0};
  const double radius = diameter / 2.0;
  if (!(radius > 0.0)) return;

  context.setShadow(videocontrols::shadow(0.0, kDiscShadowBlur, kDiscShadowAlpha));
  context.addArc(center, radius, 0.0, 2.0 * std::numbers::pi, true);
  context.setFillColor(kDiscColor);
  context.fillPath();
  context.setShadow(std::nullopt);

  if (currentTime_ < duration_) {
    context.moveTo(center);
    context.lineTo({center.x, inset});
    context.addArc(center, radius, -std::numbers::pi / 2.0, (2.0 * completeRatio() - 0.5) * std::numbers::pi, true);
    context.closePath();
    context.setFillColor(progressColor_);
    context.fillPath();
    return;
  }
  if (iconType_ != kIconSkip) {
    drawCross(context, inset, diameter);
  } else {
    drawSkipSymbol(context, center, radius);
  }
}

void OVAdVideoSkipButton::drawCross(platform::GraphicsContext& context, double inset, double diameter) const {
  const double size = diameter / kCrossSizeDivisor;
  const double a = inset + (diameter - size) / 2.0;
  const double b = a + size;
  context.moveTo({a, a});
  context.lineTo({b, b});
  context.moveTo({b, a});
  context.lineTo({a, b});
  context.setLineWidth(kCrossLineWidth);
  context.setStrokeColor(kCrossColor);
  context.strokePath();
}

void OVAdVideoSkipButton::drawSkipSymbol(platform::GraphicsContext& context, Point center, double radius) const {
  const double t = kTriangleRatio * radius;
  const double corner = kCornerRatio * radius;
  const Point tip{center.x + t, center.y};
  const Point top{center.x - t, center.y - t};
  const Point bottom{center.x - t, center.y + t};
  // The two left corners are rounded: each is cut short by the corner
  // radius along both of its edges and joined by a curve through it.
  const auto towards = [](Point from, Point to, double distance) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    return length > 0.0 ? Point{from.x + dx / length * distance, from.y + dy / length * distance} : from;
  };
  context.moveTo(tip);
  const Point intoTop = towards(top, tip, corner);
  context.lineTo(intoTop);
  const Point outOfTop = towards(top, bottom, corner);
  context.curveTo(top, top, outOfTop);
  context.lineTo(towards(bottom, top, corner));
  context.curveTo(bottom, bottom, towards(bottom, tip, corner));
  context.closePath();
  context.setFillColor(kSymbolColor);
  context.fillPath();

  const double barWidth = kBarWidthRatio * radius;
  const double halfLength = kBarHalfLengthRatio * radius;
  context.fillRect({tip.x - barWidth, center.y - halfLength, barWidth, 2.0 * halfLength});
  const double capX = tip.x - barWidth / 2.0;
  context.addArc({capX, center.y - halfLength}, barWidth / 2.0, std::numbers::pi, 2.0 * std::numbers::pi, true);
  context.closePath();
  context.fillPath();
  context.addArc({capX, center.y + halfLength}, barWidth / 2.0, 0.0, std::numbers::pi, true);
  context.closePath();
  context.fillPath();
}

}  // namespace plexora

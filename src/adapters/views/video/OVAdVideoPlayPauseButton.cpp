#include "adapters/views/video/OVAdVideoPlayPauseButton.h"

#include <algorithm>
#include <numbers>

#include "adapters/views/video/OVAdVideoControlDrawing.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

using platform::Color;

constexpr double kDiscMargin = 7.0;
constexpr Color kDiscColor = Color::grey(1.0, 0.8F);
constexpr double kShadowBlur = 7.0;
constexpr double kShadowAlpha = 0.9F;
constexpr Color kSymbolColor = Color::grey(0.3F, 1.0);
constexpr double kTriangleHalfHeight = 0.42F;
constexpr double kTriangleLeft = 0.3F;
constexpr double kTriangleTip = 0.52F;
constexpr double kBarWidth = 0.26F;
constexpr double kBarHalfHeight = 0.46F;
constexpr double kBarOuterEdge = 0.38F;

}  // namespace

void OVAdVideoPlayPauseButton::draw(platform::GraphicsContext& context, platform::Rect) const {
  const double cx = bounds().width() / 2.0;
  const double cy = bounds().height() / 2.0;
  const double r = std::min(bounds().width(), bounds().height()) / 2.0 - kDiscMargin;
  if (!(r > 0.0)) return;

  context.setShadow(videocontrols::shadow(0.0, kShadowBlur, kShadowAlpha));
  context.addArc({cx, cy}, r, 0.0, 2.0 * std::numbers::pi, true);
  context.setFillColor(kDiscColor);
  context.fillPath();
  context.setShadow(std::nullopt);

  context.setFillColor(kSymbolColor);
  if (isHighlighted()) {
    const double a = kTriangleHalfHeight * r;
    const double left = cx - kTriangleLeft * r;
    context.moveTo({left, cy - a});
    context.lineTo({left, cy + a});
    context.lineTo({cx + kTriangleTip * r, cy});
    context.closePath();
    context.fillPath();
    return;
  }
  const double barWidth = kBarWidth * r;
  const double top = cy - kBarHalfHeight * r;
  const double barHeight = 2.0 * kBarHalfHeight * r;
  context.fillRect({cx - kBarOuterEdge * r, top, barWidth, barHeight});
  context.fillRect({cx + kBarOuterEdge * r - barWidth, top, barWidth, barHeight});
}

}  // namespace plexora

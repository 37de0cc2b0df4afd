#include "adapters/views/video/OVAdVideoPlayButton.h"

#include <algorithm>

#include "adapters/views/video/OVAdVideoControlDrawing.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

constexpr double kGridSize = 125.0;
constexpr double kShadowOffset = 0.1F;
constexpr double kShadowBlur = 5.0;

}  // namespace

void OVAdVideoPlayButton::draw(platform::GraphicsContext& context, platform::Rect) const {
  const double scale = std::max(bounds().width(), bounds().height()) / kGridSize;
  const auto at = [scale](double x, double y) { return platform::Point{x * scale, y * scale}; };
  context.setFillColor(platform::Color::white());
  context.setShadow(videocontrols::shadow(kShadowOffset, kShadowBlur, 1.0));
  if (isHighlighted()) {
    context.moveTo(at(26.5, 40.5));
    context.lineTo(at(26.5, 109.5));
    context.lineTo(at(82.5, 75.5));
    context.closePath();
    context.fillPath();
    return;
  }
  for (const double left : {29.0, 55.0}) {
    context.addRect({at(left, 46.0), platform::Size{16.0 * scale, 58.0 * scale}});
    context.fillPath();
  }
}

}  // namespace plexora

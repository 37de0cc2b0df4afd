#include "adapters/views/video/OVAdVideoDismissButton.h"

#include "adapters/views/video/OVAdVideoControlDrawing.h"
#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

constexpr double kLineWidth = 2.4F;
constexpr double kShadowOffset = 0.1F;
constexpr double kShadowBlur = 5.0;

}  // namespace

void OVAdVideoDismissButton::draw(platform::GraphicsContext& context, platform::Rect) const {
  const double third = bounds().width() / 3.0;
  context.moveTo({third, third});
  context.lineTo({2.0 * third, 2.0 * third});
  context.moveTo({2.0 * third, third});
  context.lineTo({third, 2.0 * third});
  context.setLineCap(platform::LineCap::Round);
  context.setLineWidth(kLineWidth);
  context.setStrokeColor(platform::Color::white());
  context.setShadow(videocontrols::shadow(kShadowOffset, kShadowBlur, 1.0));
  context.strokePath();
}

}  // namespace plexora

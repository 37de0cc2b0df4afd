#include "plexora/OVAdStarRatingView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "platform/ui/GraphicsContext.h"

namespace plexora {

namespace {

// The rating bounded to its own scale: a value in 0...scale (0 when it is
// not a number) on a scale of at least 0.
OVAdStarRating drawableRating(const OVAdStarRating& rating) {
  const std::int64_t scale = std::max<std::int64_t>(rating.scale, 0);
  const double value = std::isnan(rating.value) ? 0.0 : std::clamp(rating.value, 0.0, static_cast<double>(scale));
  return {value, scale};
}

}  // namespace

OVAdStarRatingView::OVAdStarRatingView(platform::Rect frame, OVAdStarRating rating)
    : platform::View(frame), rating_(rating) {
  updateDrawingAttributesFromSize(frame.size);
}

void OVAdStarRatingView::setFrame(platform::Rect frame) {
  updateDrawingAttributesFromSize(frame.size);
  platform::View::setFrame(frame);
}

void OVAdStarRatingView::setBounds(platform::Rect bounds) {
  updateDrawingAttributesFromSize(bounds.size);
  platform::View::setBounds(bounds);
}

void OVAdStarRatingView::updateDrawingAttributesFromSize(platform::Size size) {
  xCenter_ = yCenter_ = std::min(size.width / 2, size.height / 2);
  xIncrement_ = width_ = std::min(size.width / 10 * 9, size.height / 10 * 9);
}

void OVAdStarRatingView::draw(platform::GraphicsContext& context, platform::Rect /*rect*/) const {
  const OVAdStarRating rating = drawableRating(rating_);
  context.setLineWidth(1.0);
  const double radius = width_ / 2;
  double centerX = xCenter_;
  double minX = std::numeric_limits<double>::max();
  double maxX = 0.0;
  const double coloured = std::ceil(rating.value);
  const std::int64_t drawn = std::min(rating.scale, kOVAdStarRatingMaxStars);
  for (std::int64_t star = 0; star < drawn; ++star) {
    const bool primary = static_cast<double>(star) < coloured;
    context.setFillColor(primary ? primaryColor_ : secondaryColor_);
    context.setStrokeColor(primary ? primaryColor_ : secondaryColor_);
    context.moveTo({centerX, yCenter_ - radius});
    if (primary) {
      minX = std::numeric_limits<double>::max();
      maxX = 0.0;
    }
    for (int k = 1; k <= 4; ++k) {
      const double angle = k * 4 * std::numbers::pi / 5;
      const double x = centerX + radius * std::sin(angle);
      context.lineTo({x, yCenter_ - radius * std::cos(angle)});
      if (primary) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
      }
    }
    context.closePath();
    context.fillPath();
    centerX += xIncrement_;
  }
  // The half star only when it is among the stars drawn; past them the
  // last drawn star is a whole one.
  if (std::floor(rating.value) < coloured && coloured <= static_cast<double>(drawn)) {
    // Paints over the last coloured star's right half only where it drew.
    context.setFillColor(secondaryColor_);
    context.setStrokeColor(platform::Color::clear());
    context.setBlendMode(platform::BlendMode::SourceAtop);
    const platform::Rect half{minX + (maxX - minX) / 2, 0, (maxX - minX) / 2, bounds().size.height};
    context.fillRect(half);
    context.strokeRect(half);
  }
}

}  // namespace plexora

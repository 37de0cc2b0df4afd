#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/ui/ImageView.h"

namespace plexora {

OVAdContentContainerPageView::OVAdContentContainerPageView(std::shared_ptr<platform::WebContentView> page,
                                                           double pixelsPerPoint)
    : page_(std::move(page)),
      pixelsPerPoint_(pixelsPerPoint > 0 && std::isfinite(pixelsPerPoint) ? pixelsPerPoint : 1.0) {}

void OVAdContentContainerPageView::setFrame(platform::Rect frame) {
  View::setFrame(frame);
  sizePage();
}

void OVAdContentContainerPageView::setBounds(platform::Rect bounds) {
  View::setBounds(bounds);
  sizePage();
}

std::shared_ptr<platform::Image> OVAdContentContainerPageView::snapshot() const { return page_->snapshot(); }

void OVAdContentContainerPageView::draw(platform::GraphicsContext& context, platform::Rect rect) const {
  auto frame = page_->snapshot();
  if (!frame) return;
  // While the page catches up with a new size its last frame is stretched
  // over the bounds.
  platform::ImageView picture(bounds());
  picture.setContentMode(platform::ContentMode::ScaleToFill);
  picture.setImage(std::move(frame));
  picture.draw(context, rect);
}

void OVAdContentContainerPageView::touchesBegan(const platform::Touches& touches, const platform::Event&) {
  point(touches, platform::WebPointerPhase::Press);
}

void OVAdContentContainerPageView::touchesMoved(const platform::Touches& touches, const platform::Event&) {
  point(touches, platform::WebPointerPhase::Move);
}

void OVAdContentContainerPageView::touchesEnded(const platform::Touches& touches, const platform::Event&) {
  point(touches, platform::WebPointerPhase::Release);
}

// A cancelled touch still lets the button go, away from the page, so no
// link is followed and the page is not left with the button held down.
void OVAdContentContainerPageView::touchesCancelled(const platform::Touches&, const platform::Event&) {
  page_->sendPointer(platform::WebPointerPhase::Release, -1, -1);
}

void OVAdContentContainerPageView::point(const platform::Touches& touches, platform::WebPointerPhase phase) {
  if (touches.empty()) return;
  const platform::Point location = touches.front()->locationInView(this);
  const platform::Rect area = bounds();
  const auto pixel = [this](double points, double origin) {
    const double value = std::floor((points - origin) * pixelsPerPoint_);
    return std::isfinite(value) ? static_cast<std::int32_t>(std::clamp(value, -1e6, 1e6)) : -1;
  };
  page_->sendPointer(phase, pixel(location.x, area.minX()), pixel(location.y, area.minY()));
}

void OVAdContentContainerPageView::sizePage() {
  const platform::Size size = bounds().size;
  const auto pixels = [this](double points) {
    const double scaled = points * pixelsPerPoint_;
    return scaled > 0 && std::isfinite(scaled) ? static_cast<std::uint32_t>(std::lround(scaled)) : 0u;
  };
  page_->setFrameSize(pixels(size.width), pixels(size.height));
}

}  // namespace plexora

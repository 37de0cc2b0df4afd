#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace plexora {

OVAdContentContainerPageView::OVAdContentContainerPageView(std::shared_ptr<platform::WebContentView> page)
    : page_(std::move(page)) {}

void OVAdContentContainerPageView::setFrame(platform::Rect frame) {
  View::setFrame(frame);
  sizePage();
}

void OVAdContentContainerPageView::setBounds(platform::Rect bounds) {
  View::setBounds(bounds);
  sizePage();
}

std::shared_ptr<platform::Image> OVAdContentContainerPageView::snapshot() const { return page_->snapshot(); }

void OVAdContentContainerPageView::sizePage() {
  const platform::Size size = bounds().size;
  const auto pixels = [](double points) {
    return points > 0 && std::isfinite(points) ? static_cast<std::uint32_t>(std::lround(points)) : 0u;
  };
  page_->setFrameSize(pixels(size.width), pixels(size.height));
}

}  // namespace plexora

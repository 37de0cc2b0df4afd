#include "adapters/views/nativead/utility/OVAdTouchPassthroughView.h"

namespace plexora {

std::shared_ptr<platform::View> OVAdTouchPassthroughView::hitTest(platform::Point point, const platform::Event* event) {
  auto hit = platform::View::hitTest(point, event);
  if (event) {
    if (const auto listener = delegate()) listener->passthroughViewDidTouch(*event);
  }
  if (hit.get() == this) return passthroughView();
  return hit;
}

}  // namespace plexora

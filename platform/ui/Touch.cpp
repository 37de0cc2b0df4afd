#include "platform/ui/Touch.h"

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

Point Touch::convertFromWindow(Point point, const View* view) const {
  auto window = window_.lock();
  if (!window) {
    return point;
  }
  return window->convertPointToView(point, view);
}

Point Touch::locationInView(const View* view) const { return convertFromWindow(locationInWindow_, view); }

Point Touch::previousLocationInView(const View* view) const {
  return convertFromWindow(previousLocationInWindow_, view);
}

Touches Event::touchesForView(const View& view) const {
  Touches found;
  for (const auto& touch : touches_) {
    if (auto touched = touch->view(); touched && touched->isDescendantOfView(&view)) {
      found.push_back(touch);
    }
  }
  return found;
}

}  // namespace plexora::platform

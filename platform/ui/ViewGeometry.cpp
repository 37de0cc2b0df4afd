// Frames, bounds, coordinate conversion, autoresizing and hit testing.
#include "platform/ui/View.h"

#include <cmath>

#include "platform/ui/MainThread.h"

namespace plexora::platform {

namespace {

bool isFinite(const Rect& rect) {
  return std::isfinite(rect.origin.x) && std::isfinite(rect.origin.y) && std::isfinite(rect.size.width) &&
         std::isfinite(rect.size.height);
}

// A view more transparent than this takes no touches.
constexpr double kMinimumHitTestAlpha = 0.01;

// The new position and length along one axis of a view whose flexible
// parts (leading margin, length, trailing margin) share the change of the
// superview's length in proportion to their sizes (equally when all of them
// are zero).
struct AxisPlacement {
  double position;
  double length;
};

AxisPlacement resizeAxis(double position, double length, double oldTotal, double newTotal, bool flexibleLead,
                         bool flexibleLength, bool flexibleTrail) {
  const double delta = newTotal - oldTotal;
  const int flexibleParts = int{flexibleLead} + int{flexibleLength} + int{flexibleTrail};
  if (delta == 0.0 || flexibleParts == 0) {
    return {position, length};
  }
  const double lead = position;
  const double trail = oldTotal - (position + length);
  const double flexibleSum = (flexibleLead ? lead : 0.0) + (flexibleLength ? length : 0.0) + (flexibleTrail ? trail : 0.0);
  auto share = [&](double part) { return flexibleSum != 0.0 ? delta * part / flexibleSum : delta / flexibleParts; };
  return {position + (flexibleLead ? share(lead) : 0.0), length + (flexibleLength ? share(length) : 0.0)};
}

}  // namespace

Rect View::frame() const { return Rect(origin_, bounds_.size); }

void View::setFrame(Rect frame) {
  assertMainThread();
  if (!isFinite(frame)) {
    return;
  }
  const Size oldSize = bounds_.size;
  origin_ = frame.origin;
  bounds_.size = frame.size;
  if (oldSize != frame.size) {
    boundsSizeDidChange(oldSize);
  }
}

Rect View::bounds() const { return bounds_; }

void View::setBounds(Rect bounds) {
  assertMainThread();
  if (!isFinite(bounds)) {
    return;
  }
  const Size oldSize = bounds_.size;
  bounds_ = bounds;
  if (oldSize != bounds.size) {
    // The centre stays where it was.
    origin_.x += (oldSize.width - bounds.size.width) / 2.0;
    origin_.y += (oldSize.height - bounds.size.height) / 2.0;
    boundsSizeDidChange(oldSize);
  }
}

Point View::center() const { return Point{origin_.x + bounds_.size.width / 2.0, origin_.y + bounds_.size.height / 2.0}; }

void View::setCenter(Point center) {
  assertMainThread();
  if (!std::isfinite(center.x) || !std::isfinite(center.y)) {
    return;
  }
  origin_ = Point{center.x - bounds_.size.width / 2.0, center.y - bounds_.size.height / 2.0};
}

void View::boundsSizeDidChange(Size oldSize) {
  if (autoresizesSubviews_) {
    for (const auto& subview : subviews()) {
      subview->resizeWithOldSuperviewSize(oldSize, bounds_.size);
    }
  }
  setNeedsLayout();
}

void View::resizeWithOldSuperviewSize(Size oldSize, Size newSize) {
  const AutoresizingMask mask = autoresizingMask_;
  if (mask == kAutoresizingNone) {
    return;
  }
  const Rect old = frame();
  const AxisPlacement x = resizeAxis(old.origin.x, old.size.width, oldSize.width, newSize.width,
                                     mask & kAutoresizingFlexibleLeftMargin, mask & kAutoresizingFlexibleWidth,
                                     mask & kAutoresizingFlexibleRightMargin);
  const AxisPlacement y = resizeAxis(old.origin.y, old.size.height, oldSize.height, newSize.height,
                                     mask & kAutoresizingFlexibleTopMargin, mask & kAutoresizingFlexibleHeight,
                                     mask & kAutoresizingFlexibleBottomMargin);
  setFrame(Rect(x.position, y.position, x.length, y.length));
}

Point View::pointInSuperview(Point point) const {
  return Point{point.x - bounds_.origin.x + origin_.x, point.y - bounds_.origin.y + origin_.y};
}

Point View::pointFromSuperview(Point point) const {
  return Point{point.x - origin_.x + bounds_.origin.x, point.y - origin_.y + bounds_.origin.y};
}

View::RootOffset View::rootOffset() const {
  // Views only translate, so the way to the root is one offset.
  Point offset{0.0, 0.0};
  const View* node = this;
  std::shared_ptr<View> holder;
  while (auto parent = node->superview_.lock()) {
    offset = node->pointInSuperview(offset);
    holder = std::move(parent);
    node = holder.get();
  }
  return {node, offset};
}

Point View::screenOffset(const View* root) {
  if (!root->isWindow_) {
    return Point{0.0, 0.0};
  }
  return root->pointInSuperview(Point{0.0, 0.0});
}

Point View::convertPointToView(Point point, const View* view) const {
  const RootOffset from = rootOffset();
  Point inRoot{point.x + from.offset.x, point.y + from.offset.y};
  if (view == nullptr) {
    return inRoot;
  }
  const RootOffset to = view->rootOffset();
  if (to.root != from.root) {
    const Point fromScreen = screenOffset(from.root);
    const Point toScreen = screenOffset(to.root);
    inRoot = Point{inRoot.x + fromScreen.x - toScreen.x, inRoot.y + fromScreen.y - toScreen.y};
  }
  return Point{inRoot.x - to.offset.x, inRoot.y - to.offset.y};
}

Point View::convertPointFromView(Point point, const View* view) const {
  if (view == nullptr) {
    const RootOffset mine = rootOffset();
    return Point{point.x - mine.offset.x, point.y - mine.offset.y};
  }
  return view->convertPointToView(point, this);
}

Rect View::convertRectToView(Rect rect, const View* view) const {
  if (rect.isNull()) {
    return rect;
  }
  const Rect standard = rect.standardized();
  return Rect(convertPointToView(standard.origin, view), standard.size);
}

Rect View::convertRectFromView(Rect rect, const View* view) const {
  if (rect.isNull()) {
    return rect;
  }
  const Rect standard = rect.standardized();
  return Rect(convertPointFromView(standard.origin, view), standard.size);
}

Point View::convertPointToScreen(Point point) const {
  const RootOffset from = rootOffset();
  const Point screen = screenOffset(from.root);
  return Point{point.x + from.offset.x + screen.x, point.y + from.offset.y + screen.y};
}

Point View::convertPointFromScreen(Point point) const {
  const RootOffset mine = rootOffset();
  const Point screen = screenOffset(mine.root);
  return Point{point.x - screen.x - mine.offset.x, point.y - screen.y - mine.offset.y};
}

Rect View::convertRectToScreen(Rect rect) const {
  if (rect.isNull()) {
    return rect;
  }
  const Rect standard = rect.standardized();
  return Rect(convertPointToScreen(standard.origin), standard.size);
}

Rect View::convertRectFromScreen(Rect rect) const {
  if (rect.isNull()) {
    return rect;
  }
  const Rect standard = rect.standardized();
  return Rect(convertPointFromScreen(standard.origin), standard.size);
}

std::shared_ptr<View> View::hitTest(Point point, const Event* event) {
  if (hidden_ || !userInteractionEnabled_ || alpha_ < kMinimumHitTestAlpha || !pointInside(point, event)) {
    return nullptr;
  }
  const auto children = subviews();
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    if (auto hit = (*child)->hitTest((*child)->pointFromSuperview(point), event)) {
      return hit;
    }
  }
  return sharedView();
}

bool View::pointInside(Point point, const Event* event) const { return bounds_.containsPoint(point); }

}  // namespace plexora::platform

#include "platform/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

namespace plexora::platform {

namespace {

double clampOffset(double offset, double content, double visible) {
  return std::clamp(offset, 0.0, std::max(0.0, content - visible));
}

double nearestPage(double offset, double page, double content) {
  if (page <= 0.0) {
    return 0.0;
  }
  return clampOffset(std::round(offset / page) * page, content, page);
}

}  // namespace

ScrollView::ScrollView() : ScrollView(Rect::zero()) {}

ScrollView::ScrollView(Rect frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::setBounds(Rect bounds) {
  const Point oldOffset = contentOffset();
  View::setBounds(bounds);
  if (contentOffset() != oldOffset) {
    if (auto delegate = delegate_.lock()) {
      delegate->scrollViewDidScroll(*this);
    }
  }
}

void ScrollView::setContentOffset(Point offset, bool animated) {
  Rect moved = bounds();
  moved.origin = offset;
  if (!animated) {
    setBounds(moved);
    return;
  }
  std::weak_ptr<Responder> weakSelf = weak_from_this();
  animate(kScrollAnimationSeconds, [&] { setBounds(moved); }, [weakSelf](bool) {
    auto self = std::static_pointer_cast<ScrollView>(weakSelf.lock());
    if (!self) {
      return;
    }
    if (auto delegate = self->delegate_.lock()) {
      delegate->scrollViewDidEndScrollingAnimation(*self);
    }
  });
}

Point ScrollView::restingOffset(Point offset) const {
  const Size visible = bounds().size;
  if (pagingEnabled_) {
    return Point{nearestPage(offset.x, visible.width, contentSize_.width),
                 nearestPage(offset.y, visible.height, contentSize_.height)};
  }
  return Point{clampOffset(offset.x, contentSize_.width, visible.width),
               clampOffset(offset.y, contentSize_.height, visible.height)};
}

void ScrollView::drag(Point offset, Point velocity) {
  auto delegate = delegate_.lock();
  if (delegate) {
    delegate->scrollViewWillBeginDragging(*this);
  }
  setContentOffset(offset);
  Point target = restingOffset(offset);
  if (delegate) {
    delegate->scrollViewWillEndDragging(*this, velocity, target);
  }
  const bool decelerate = target != contentOffset();
  if (delegate) {
    delegate->scrollViewDidEndDragging(*this, decelerate);
  }
  if (!decelerate) {
    return;
  }
  if (delegate) {
    delegate->scrollViewWillBeginDecelerating(*this);
  }
  setContentOffset(target);
  if (delegate) {
    delegate->scrollViewDidEndDecelerating(*this);
  }
}

}  // namespace plexora::platform

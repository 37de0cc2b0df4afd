#include "platform/ui/ReusingScrollView.h"

#include <cmath>
#include <utility>

namespace plexora::platform {

namespace {

// A size that is no length takes no room.
double length(double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; }

}  // namespace

ReusingScrollView::ReusingScrollView(Rect frame) : ScrollView(frame) {}

void ReusingScrollView::reloadData() {
  loaded_ = true;
  countInSection_.clear();
  measured_.clear();
  const std::size_t sections = sectionsFromDataSource();
  for (std::size_t section = 0; section < sections; ++section) {
    const std::size_t count = countFromDataSource(section);
    countInSection_.push_back(count);
    for (std::size_t index = 0; index < count; ++index) {
      const IndexPath path{section, index};
      const Size size = sizeFromDelegate(path);
      measured_.push_back({path, Size{length(size.width), length(size.height)}});
    }
  }
  place();
  cells_.recycleAll();
  showCellsInView();
}

void ReusingScrollView::place() {
  const double width = bounds().size.width;
  Arrangement arrangement = arrange(measured_, width);
  slots_ = std::move(arrangement.slots);
  setContentSize(Size{width, arrangement.contentHeight});
}

void ReusingScrollView::showCellsInView() {
  if (!loaded_) return;
  cells_.layout(*this, slots_, bounds(), [this](const IndexPath& path) { return cellFromDataSource(path); });
}

std::size_t ReusingScrollView::countInSection(std::size_t section) const {
  return section < countInSection_.size() ? countInSection_[section] : 0;
}

std::optional<Rect> ReusingScrollView::frameAt(const IndexPath& indexPath) const {
  for (const auto& slot : slots_) {
    if (slot.indexPath == indexPath) return slot.frame;
  }
  return std::nullopt;
}

std::optional<IndexPath> ReusingScrollView::indexPathAt(Point point) const {
  for (const auto& slot : slots_) {
    if (slot.frame.containsPoint(point)) return slot.indexPath;
  }
  return std::nullopt;
}

void ReusingScrollView::setFrame(Rect frame) {
  const double oldWidth = bounds().size.width;
  ScrollView::setFrame(frame);
  if (bounds().size.width != oldWidth) place();
  showCellsInView();
}

void ReusingScrollView::setBounds(Rect bounds) {
  const double oldWidth = this->bounds().size.width;
  ScrollView::setBounds(bounds);
  if (this->bounds().size.width != oldWidth) place();
  showCellsInView();
}

// ---- Selection ----

void ReusingScrollView::touchesBegan(const Touches& touches, const Event& /*event*/) { tap_.began(touches, *this); }

void ReusingScrollView::touchesMoved(const Touches& touches, const Event& /*event*/) { tap_.moved(touches, *this); }

void ReusingScrollView::touchesEnded(const Touches& touches, const Event& /*event*/) {
  const auto tap = tap_.ended(touches, *this);
  if (!tap) return;
  const auto path = indexPathAt(tap->first);
  if (!path || path != indexPathAt(tap->second)) return;
  didSelect(*path);
}

void ReusingScrollView::touchesCancelled(const Touches& /*touches*/, const Event& /*event*/) { tap_.cancelled(); }

}  // namespace plexora::platform

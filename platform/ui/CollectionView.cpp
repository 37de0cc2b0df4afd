#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <cmath>

namespace plexora::platform {

namespace {

// A size that is no length takes no room.
double length(double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; }

}  // namespace

Size CollectionViewDelegate::sizeForItemAtIndexPath(CollectionView& collectionView, const IndexPath& /*indexPath*/) {
  return collectionView.itemSize();
}

CollectionView::CollectionView() : CollectionView(Rect::zero()) {}

CollectionView::CollectionView(Rect frame) : ScrollView(frame) {}

void CollectionView::setDelegate(const std::weak_ptr<CollectionViewDelegate>& delegate) {
  delegate_ = delegate;
  ScrollView::setDelegate(delegate);
}

void CollectionView::registerClass(CollectionViewCellClass cellClass, const std::string& identifier) {
  cells_.registerClass(std::move(cellClass), identifier);
}

std::shared_ptr<CollectionViewCell> CollectionView::dequeueReusableCellWithReuseIdentifier(
    const std::string& identifier, const IndexPath& /*indexPath*/) {
  return cells_.dequeue(identifier);
}

void CollectionView::reloadData() {
  loaded_ = true;
  itemsInSection_.clear();
  sizes_.clear();
  const auto source = dataSource();
  const auto sizes = delegate();
  if (source) {
    const std::size_t sections = source->numberOfSections(*this);
    for (std::size_t section = 0; section < sections; ++section) {
      const std::size_t items = source->numberOfItemsInSection(*this, section);
      itemsInSection_.push_back(items);
      for (std::size_t item = 0; item < items; ++item) {
        const Size size = sizes ? sizes->sizeForItemAtIndexPath(*this, IndexPath::forItem(item, section)) : itemSize_;
        sizes_.push_back(Size{length(size.width), length(size.height)});
      }
    }
  }
  placeItems();
  cells_.recycleAll();
  showItemsInView();
}

void CollectionView::placeItems() {
  items_.clear();
  const double width = bounds().size.width;
  double lineTop = 0.0;
  double lineHeight = 0.0;
  std::size_t next = 0;
  for (std::size_t section = 0; section < itemsInSection_.size(); ++section) {
    double x = 0.0;
    for (std::size_t item = 0; item < itemsInSection_[section]; ++item) {
      const Size size = sizes_[next++];
      // An item wider than the view still gets a line of its own.
      if (x > 0.0 && x + size.width > width) {
        lineTop += lineHeight;
        lineHeight = 0.0;
        x = 0.0;
      }
      items_.push_back({IndexPath::forItem(item, section), Rect(x, lineTop, size.width, size.height)});
      x += size.width;
      lineHeight = std::max(lineHeight, size.height);
    }
    lineTop += lineHeight;
    lineHeight = 0.0;
  }
  setContentSize(Size{width, lineTop});
}

void CollectionView::showItemsInView() {
  if (!loaded_) return;
  cells_.layout(*this, items_, bounds(), [this](const IndexPath& path) -> std::shared_ptr<CollectionViewCell> {
    const auto source = dataSource();
    return source ? source->cellForItemAtIndexPath(*this, path) : nullptr;
  });
}

std::size_t CollectionView::numberOfItemsInSection(std::size_t section) const {
  return section < itemsInSection_.size() ? itemsInSection_[section] : 0;
}

std::optional<Rect> CollectionView::frameForItemAtIndexPath(const IndexPath& indexPath) const {
  for (const auto& slot : items_) {
    if (slot.indexPath == indexPath) return slot.frame;
  }
  return std::nullopt;
}

std::optional<IndexPath> CollectionView::indexPathForItemAtPoint(Point point) const {
  for (const auto& slot : items_) {
    if (slot.frame.containsPoint(point)) return slot.indexPath;
  }
  return std::nullopt;
}

std::shared_ptr<CollectionViewCell> CollectionView::cellForItemAtIndexPath(const IndexPath& indexPath) const {
  return cells_.cellAt(indexPath);
}

std::optional<IndexPath> CollectionView::indexPathForCell(const CollectionViewCell& cell) const {
  return cells_.indexPathOf(cell);
}

void CollectionView::setFrame(Rect frame) {
  const double oldWidth = bounds().size.width;
  ScrollView::setFrame(frame);
  if (bounds().size.width != oldWidth) placeItems();
  showItemsInView();
}

void CollectionView::setBounds(Rect bounds) {
  const double oldWidth = this->bounds().size.width;
  ScrollView::setBounds(bounds);
  if (this->bounds().size.width != oldWidth) placeItems();
  showItemsInView();
}

// ---- Selection ----

void CollectionView::touchesBegan(const Touches& touches, const Event& /*event*/) { tap_.began(touches, *this); }

void CollectionView::touchesMoved(const Touches& touches, const Event& /*event*/) { tap_.moved(touches, *this); }

void CollectionView::touchesEnded(const Touches& touches, const Event& /*event*/) {
  const auto tap = tap_.ended(touches, *this);
  if (!tap) return;
  const auto path = indexPathForItemAtPoint(tap->first);
  if (!path || path != indexPathForItemAtPoint(tap->second)) return;
  if (const auto target = delegate()) target->didSelectItemAtIndexPath(*this, *path);
}

void CollectionView::touchesCancelled(const Touches& /*touches*/, const Event& /*event*/) { tap_.cancelled(); }

}  // namespace plexora::platform

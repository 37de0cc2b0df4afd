#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace plexora::platform {

Size CollectionViewDelegate::sizeForItemAtIndexPath(CollectionView& collectionView, const IndexPath& /*indexPath*/) {
  return collectionView.itemSize();
}

CollectionView::CollectionView() : CollectionView(Rect::zero()) {}

CollectionView::CollectionView(Rect frame) : ReusingScrollView(frame) {}

void CollectionView::setDelegate(const std::weak_ptr<CollectionViewDelegate>& delegate) {
  delegate_ = delegate;
  ScrollView::setDelegate(delegate);
}

void CollectionView::registerClass(CollectionViewCellClass cellClass, const std::string& identifier) {
  registerCellClass(std::move(cellClass), identifier);
}

std::shared_ptr<CollectionViewCell> CollectionView::dequeueReusableCellWithReuseIdentifier(
    const std::string& identifier, const IndexPath& /*indexPath*/) {
  // Only collection view cell classes are registered here.
  return std::static_pointer_cast<CollectionViewCell>(dequeueCell(identifier));
}

std::size_t CollectionView::sectionsFromDataSource() {
  const auto source = dataSource();
  return source ? source->numberOfSections(*this) : 0;
}

std::size_t CollectionView::countFromDataSource(std::size_t section) {
  const auto source = dataSource();
  return source ? source->numberOfItemsInSection(*this, section) : 0;
}

Size CollectionView::sizeFromDelegate(const IndexPath& indexPath) {
  const auto sizes = delegate();
  return sizes ? sizes->sizeForItemAtIndexPath(*this, indexPath) : itemSize_;
}

std::shared_ptr<ReusableCell> CollectionView::cellFromDataSource(const IndexPath& indexPath) {
  const auto source = dataSource();
  return source ? source->cellForItemAtIndexPath(*this, indexPath) : nullptr;
}

ReusingScrollView::Arrangement CollectionView::arrange(const std::vector<Measured>& items, double width) const {
  Arrangement arrangement;
  double lineTop = 0.0;
  double lineHeight = 0.0;
  double x = 0.0;
  std::optional<std::size_t> section;
  for (const auto& item : items) {
    // An item wider than the view still gets a line of its own.
    const bool overflows = x > 0.0 && x + item.size.width > width;
    if (item.indexPath.section != section || overflows) {
      lineTop += lineHeight;
      lineHeight = 0.0;
      x = 0.0;
      section = item.indexPath.section;
    }
    arrangement.slots.push_back({item.indexPath, Rect(x, lineTop, item.size.width, item.size.height)});
    x += item.size.width;
    lineHeight = std::max(lineHeight, item.size.height);
  }
  arrangement.contentHeight = lineTop + lineHeight;
  return arrangement;
}

void CollectionView::didSelect(const IndexPath& indexPath) {
  if (const auto target = delegate()) target->didSelectItemAtIndexPath(*this, indexPath);
}

}  // namespace plexora::platform

// A collection view: items laid out in lines from left to right, a new line
// where the next item no longer fits the width and at each section, on a
// scroll view. A line is as tall as its tallest item. reloadData() asks the
// data source for the sections and items and the delegate for each item's
// size, then shows a cell for each item in view; scrolling (a change of the
// bounds) shows the items that come into view, reusing the cells of the
// items that left. A tap on an item (a touch that ends on the item it began
// on, having moved at most kTapAllowableMovement points) tells the
// delegate; a touch a gesture recogniser took over selects nothing.
//
// Thread safety: main thread only.
// Ownership: the data source and the delegate are held weakly; the view
// owns its cells (on screen through its view tree, the others in its reuse
// pool) and the cell classes registered with it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/ReusableCell.h"
#include "platform/ui/ReusableCellPool.h"
#include "platform/ui/ReusingScrollView.h"

namespace plexora::platform {

class CollectionView;

// An item of a collection view.
class PLEXORA_EXPORT CollectionViewCell : public ReusableCell {
 public:
  using ReusableCell::ReusableCell;
};

// Makes a cell of one kind for the reuse identifier it is given.
using CollectionViewCellClass = ReusableCellPool<CollectionViewCell>::CellClass;

class PLEXORA_EXPORT CollectionViewDataSource {
 public:
  virtual ~CollectionViewDataSource() = default;
  virtual std::size_t numberOfSections(CollectionView& /*collectionView*/) { return 1; }
  virtual std::size_t numberOfItemsInSection(CollectionView& collectionView, std::size_t section) = 0;
  // Normally a cell dequeued from the collection view; none is an error.
  virtual std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(CollectionView& collectionView,
                                                                     const IndexPath& indexPath) = 0;
};

class PLEXORA_EXPORT CollectionViewDelegate : public ScrollViewDelegate {
 public:
  // The view's itemSize unless overridden.
  virtual Size sizeForItemAtIndexPath(CollectionView& collectionView, const IndexPath& indexPath);
  virtual void didSelectItemAtIndexPath(CollectionView& /*collectionView*/, const IndexPath& /*indexPath*/) {}
};

class PLEXORA_EXPORT CollectionView : public ReusingScrollView {
 public:
  static constexpr Size kDefaultItemSize{50.0, 50.0};

  CollectionView();
  explicit CollectionView(Rect frame);

  std::shared_ptr<CollectionViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(std::weak_ptr<CollectionViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
  std::shared_ptr<CollectionViewDelegate> delegate() const { return delegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(const std::weak_ptr<CollectionViewDelegate>& delegate);
  Size itemSize() const { return itemSize_; }
  void setItemSize(Size size) { itemSize_ = size; }

  void registerClass(CollectionViewCellClass cellClass, const std::string& identifier);
  // A cell for the item: one that scrolled out, else a new one of the class
  // registered for the identifier. Throws Exception
  // (kInternalInconsistencyException) when none was registered.
  std::shared_ptr<CollectionViewCell> dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                             const IndexPath& indexPath);

  // As of the last reloadData().
  std::size_t numberOfItemsInSection(std::size_t section) const { return countInSection(section); }
  // In the view's content coordinates; none for an item the view lacks.
  std::optional<Rect> frameForItemAtIndexPath(const IndexPath& indexPath) const { return frameAt(indexPath); }
  std::optional<IndexPath> indexPathForItemAtPoint(Point point) const { return indexPathAt(point); }
  // Only items in view have cells.
  std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(const IndexPath& indexPath) const {
    return std::static_pointer_cast<CollectionViewCell>(cellAt(indexPath));
  }
  std::vector<std::shared_ptr<CollectionViewCell>> visibleCells() const {
    return visibleCellsAs<CollectionViewCell>();
  }
  std::vector<IndexPath> indexPathsForVisibleItems() const { return visibleIndexPaths(); }

 private:
  std::size_t sectionsFromDataSource() override;
  std::size_t countFromDataSource(std::size_t section) override;
  Size sizeFromDelegate(const IndexPath& indexPath) override;
  std::shared_ptr<ReusableCell> cellFromDataSource(const IndexPath& indexPath) override;
  // The lines break at the view's width and at each section.
  Arrangement arrange(const std::vector<Measured>& items, double width) const override;
  void didSelect(const IndexPath& indexPath) override;

  std::weak_ptr<CollectionViewDataSource> dataSource_;
  std::weak_ptr<CollectionViewDelegate> delegate_;
  Size itemSize_ = kDefaultItemSize;
};

}  // namespace plexora::platform

// The scroll view under table and collection views: it asks its subclass,
// which speaks to the data source and the delegate, how many cells each
// section has and how large each is, lets the subclass arrange them for its
// width, shows a cell for each one in view and reuses the cells that
// scrolled out. A tap on a cell (a touch that ends on the cell it began on,
// having moved at most kTapAllowableMovement points) goes to the subclass;
// a touch a gesture recogniser took over selects nothing.
//
// Thread safety: main thread only.
// Ownership: the view owns its cells (on screen through its view tree, the
// others in its reuse pool) and the cell classes registered with it; the
// subclass owns its data source and delegate references.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/ReusableCell.h"
#include "platform/ui/ReusableCellPool.h"
#include "platform/ui/ScrollView.h"

namespace plexora::platform {

class PLEXORA_EXPORT ReusingScrollView : public ScrollView {
 public:
  // Asks the subclass again and shows the cells in view with cells the data
  // source gives anew.
  void reloadData();

  // As of the last reloadData().
  std::size_t numberOfSections() const { return countInSection_.size(); }
  std::optional<IndexPath> indexPathForCell(const ReusableCell& cell) const { return cells_.indexPathOf(cell); }

  void setFrame(Rect frame) override;
  void setBounds(Rect bounds) override;
  void touchesBegan(const Touches& touches, const Event& event) override;
  void touchesMoved(const Touches& touches, const Event& event) override;
  void touchesEnded(const Touches& touches, const Event& event) override;
  void touchesCancelled(const Touches& touches, const Event& event) override;

 protected:
  using Pool = ReusableCellPool<ReusableCell>;
  // A cell's position and its size as the delegate gave it, a size that is
  // no length taken as none.
  struct Measured {
    IndexPath indexPath;
    Size size;
  };
  struct Arrangement {
    std::vector<Pool::Slot> slots;
    double contentHeight = 0.0;
  };

  explicit ReusingScrollView(Rect frame);

  std::size_t countInSection(std::size_t section) const;
  // In the view's content coordinates; none for a position the view lacks.
  std::optional<Rect> frameAt(const IndexPath& indexPath) const;
  std::optional<IndexPath> indexPathAt(Point point) const;

  void registerCellClass(Pool::CellClass cellClass, const std::string& identifier) {
    cells_.registerClass(std::move(cellClass), identifier);
  }
  std::shared_ptr<ReusableCell> dequeueCell(const std::string& identifier) { return cells_.dequeue(identifier); }
  // Only positions in view have cells.
  std::shared_ptr<ReusableCell> cellAt(const IndexPath& indexPath) const { return cells_.cellAt(indexPath); }
  // Every cell the subclass gives is a `Cell`.
  template <class Cell>
  std::vector<std::shared_ptr<Cell>> visibleCellsAs() const {
    std::vector<std::shared_ptr<Cell>> cells;
    for (const auto& cell : cells_.visibleCells()) cells.push_back(std::static_pointer_cast<Cell>(cell));
    return cells;
  }
  std::vector<IndexPath> visibleIndexPaths() const { return cells_.visibleIndexPaths(); }

 private:
  // None without a data source.
  virtual std::size_t sectionsFromDataSource() = 0;
  virtual std::size_t countFromDataSource(std::size_t section) = 0;
  virtual Size sizeFromDelegate(const IndexPath& indexPath) = 0;
  // Normally a cell dequeued from this view; none is an error.
  virtual std::shared_ptr<ReusableCell> cellFromDataSource(const IndexPath& indexPath) = 0;
  // `cells` in index path order.
  virtual Arrangement arrange(const std::vector<Measured>& cells, double width) const = 0;
  virtual void didSelect(const IndexPath& indexPath) = 0;

  // The cells' frames follow the view's width.
  void place();
  void showCellsInView();

  std::vector<std::size_t> countInSection_;
  std::vector<Measured> measured_;
  std::vector<Pool::Slot> slots_;
  Pool cells_;
  bool loaded_ = false;
  CellTapTracker tap_;
};

}  // namespace plexora::platform

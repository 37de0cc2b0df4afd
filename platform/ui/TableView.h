// A table view: one column of rows, section after section, on a scroll
// view. reloadData() asks the data source for the sections and rows and the
// delegate for each row's height, then shows a cell for each row in view;
// scrolling (a change of the bounds) shows the rows that come into view,
// reusing the cells of the rows that left. A tap on a row (a touch that
// ends on the row it began on, having moved at most kTapAllowableMovement
// points) tells the delegate; a touch a gesture recogniser took over
// selects nothing.
//
//   table->registerClass([](const std::string& id) { return std::make_shared<MyCell>(id); }, "row");
//   // in the data source's cellForRowAtIndexPath:
//   auto cell = table.dequeueReusableCellWithIdentifier("row", indexPath);
//
// Thread safety: main thread only.
// Ownership: the data source and the delegate are held weakly; the table
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

class TableView;

// A row of a table view.
class PLEXORA_EXPORT TableViewCell : public ReusableCell {
 public:
  using ReusableCell::ReusableCell;
};

// Makes a cell of one kind for the reuse identifier it is given.
using TableViewCellClass = ReusableCellPool<TableViewCell>::CellClass;

class PLEXORA_EXPORT TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual std::size_t numberOfSections(TableView& /*tableView*/) { return 1; }
  virtual std::size_t numberOfRowsInSection(TableView& tableView, std::size_t section) = 0;
  // Normally a cell dequeued from the table view; none is an error.
  virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) = 0;
};

class PLEXORA_EXPORT TableViewDelegate : public ScrollViewDelegate {
 public:
  // The table's rowHeight unless overridden.
  virtual double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath);
  virtual void didSelectRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {}
};

class PLEXORA_EXPORT TableView : public ReusingScrollView {
 public:
  static constexpr double kDefaultRowHeight = 44.0;

  TableView();
  explicit TableView(Rect frame);

  std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(std::weak_ptr<TableViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
  std::shared_ptr<TableViewDelegate> delegate() const { return delegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(const std::weak_ptr<TableViewDelegate>& delegate);
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double height) { rowHeight_ = height; }

  void registerClass(TableViewCellClass cellClass, const std::string& identifier);
  // A cell for the row: one that scrolled out, else a new one of the class
  // registered for the identifier. Throws Exception
  // (kInternalInconsistencyException) when none was registered.
  std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                   const IndexPath& indexPath);

  // As of the last reloadData().
  std::size_t numberOfRowsInSection(std::size_t section) const { return countInSection(section); }
  // In the table's content coordinates; none for a row the table lacks.
  std::optional<Rect> rectForRowAtIndexPath(const IndexPath& indexPath) const { return frameAt(indexPath); }
  std::optional<IndexPath> indexPathForRowAtPoint(Point point) const { return indexPathAt(point); }
  // Only rows in view have cells.
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath) const {
    return std::static_pointer_cast<TableViewCell>(cellAt(indexPath));
  }
  std::vector<std::shared_ptr<TableViewCell>> visibleCells() const { return visibleCellsAs<TableViewCell>(); }
  std::vector<IndexPath> indexPathsForVisibleRows() const { return visibleIndexPaths(); }

 private:
  std::size_t sectionsFromDataSource() override;
  std::size_t countFromDataSource(std::size_t section) override;
  Size sizeFromDelegate(const IndexPath& indexPath) override;
  std::shared_ptr<ReusableCell> cellFromDataSource(const IndexPath& indexPath) override;
  // One row under another, as wide as the table.
  Arrangement arrange(const std::vector<Measured>& rows, double width) const override;
  void didSelect(const IndexPath& indexPath) override;

  std::weak_ptr<TableViewDataSource> dataSource_;
  std::weak_ptr<TableViewDelegate> delegate_;
  double rowHeight_ = kDefaultRowHeight;
};

}  // namespace plexora::platform

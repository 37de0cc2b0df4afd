#include "platform/ui/TableView.h"

#include <cmath>
#include <utility>

namespace plexora::platform {

double TableViewDelegate::heightForRowAtIndexPath(TableView& tableView, const IndexPath& /*indexPath*/) {
  return tableView.rowHeight();
}

TableView::TableView() : TableView(Rect::zero()) {}

TableView::TableView(Rect frame) : ScrollView(frame) {}

void TableView::setDelegate(const std::weak_ptr<TableViewDelegate>& delegate) {
  delegate_ = delegate;
  ScrollView::setDelegate(delegate);
}

void TableView::registerClass(TableViewCellClass cellClass, const std::string& identifier) {
  cells_.registerClass(std::move(cellClass), identifier);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                            const IndexPath& /*indexPath*/) {
  return cells_.dequeue(identifier);
}

void TableView::reloadData() {
  loaded_ = true;
  rowsInSection_.clear();
  heights_.clear();
  const auto source = dataSource();
  const auto heights = delegate();
  if (source) {
    const std::size_t sections = source->numberOfSections(*this);
    for (std::size_t section = 0; section < sections; ++section) {
      const std::size_t rows = source->numberOfRowsInSection(*this, section);
      rowsInSection_.push_back(rows);
      for (std::size_t row = 0; row < rows; ++row) {
        const double height = heights ? heights->heightForRowAtIndexPath(*this, IndexPath::forRow(row, section))
                                      : rowHeight_;
        // A height that is no length takes no room.
        heights_.push_back(std::isfinite(height) && height > 0.0 ? height : 0.0);
      }
    }
  }
  placeRows();
  cells_.recycleAll();
  showRowsInView();
}

void TableView::placeRows() {
  rows_.clear();
  const double width = bounds().size.width;
  double y = 0.0;
  std::size_t next = 0;
  for (std::size_t section = 0; section < rowsInSection_.size(); ++section) {
    for (std::size_t row = 0; row < rowsInSection_[section]; ++row) {
      const double height = heights_[next++];
      rows_.push_back({IndexPath::forRow(row, section), Rect(0, y, width, height)});
      y += height;
    }
  }
  setContentSize(Size{width, y});
}

void TableView::showRowsInView() {
  if (!loaded_) return;
  cells_.layout(*this, rows_, bounds(), [this](const IndexPath& path) -> std::shared_ptr<TableViewCell> {
    const auto source = dataSource();
    return source ? source->cellForRowAtIndexPath(*this, path) : nullptr;
  });
}

std::size_t TableView::numberOfRowsInSection(std::size_t section) const {
  return section < rowsInSection_.size() ? rowsInSection_[section] : 0;
}

std::optional<Rect> TableView::rectForRowAtIndexPath(const IndexPath& indexPath) const {
  for (const auto& slot : rows_) {
    if (slot.indexPath == indexPath) return slot.frame;
  }
  return std::nullopt;
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) const {
  for (const auto& slot : rows_) {
    if (slot.frame.containsPoint(point)) return slot.indexPath;
  }
  return std::nullopt;
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) const {
  return cells_.cellAt(indexPath);
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
  return cells_.indexPathOf(cell);
}

void TableView::setFrame(Rect frame) {
  const double oldWidth = bounds().size.width;
  ScrollView::setFrame(frame);
  if (bounds().size.width != oldWidth) placeRows();
  showRowsInView();
}

void TableView::setBounds(Rect bounds) {
  const double oldWidth = this->bounds().size.width;
  ScrollView::setBounds(bounds);
  if (this->bounds().size.width != oldWidth) placeRows();
  showRowsInView();
}

// ---- Selection ----

void TableView::touchesBegan(const Touches& touches, const Event& /*event*/) { tap_.began(touches, *this); }

void TableView::touchesMoved(const Touches& touches, const Event& /*event*/) { tap_.moved(touches, *this); }

void TableView::touchesEnded(const Touches& touches, const Event& /*event*/) {
  const auto tap = tap_.ended(touches, *this);
  if (!tap) return;
  const auto path = indexPathForRowAtPoint(tap->first);
  if (!path || path != indexPathForRowAtPoint(tap->second)) return;
  if (const auto target = delegate()) target->didSelectRowAtIndexPath(*this, *path);
}

void TableView::touchesCancelled(const Touches& /*touches*/, const Event& /*event*/) { tap_.cancelled(); }

}  // namespace plexora::platform

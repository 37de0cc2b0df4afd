#include "platform/ui/TableView.h"

#include <utility>

namespace plexora::platform {

double TableViewDelegate::heightForRowAtIndexPath(TableView& tableView, const IndexPath& /*indexPath*/) {
  return tableView.rowHeight();
}

TableView::TableView() : TableView(Rect::zero()) {}

TableView::TableView(Rect frame) : ReusingScrollView(frame) {}

void TableView::setDelegate(const std::weak_ptr<TableViewDelegate>& delegate) {
  delegate_ = delegate;
  ScrollView::setDelegate(delegate);
}

void TableView::registerClass(TableViewCellClass cellClass, const std::string& identifier) {
  registerCellClass(std::move(cellClass), identifier);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                            const IndexPath& /*indexPath*/) {
  // Only table view cell classes are registered here.
  return std::static_pointer_cast<TableViewCell>(dequeueCell(identifier));
}

std::size_t TableView::sectionsFromDataSource() {
  const auto source = dataSource();
  return source ? source->numberOfSections(*this) : 0;
}

std::size_t TableView::countFromDataSource(std::size_t section) {
  const auto source = dataSource();
  return source ? source->numberOfRowsInSection(*this, section) : 0;
}

Size TableView::sizeFromDelegate(const IndexPath& indexPath) {
  const auto heights = delegate();
  // A row's width is the table's, whatever it is when the rows are placed.
  return Size{0.0, heights ? heights->heightForRowAtIndexPath(*this, indexPath) : rowHeight_};
}

std::shared_ptr<ReusableCell> TableView::cellFromDataSource(const IndexPath& indexPath) {
  const auto source = dataSource();
  return source ? source->cellForRowAtIndexPath(*this, indexPath) : nullptr;
}

ReusingScrollView::Arrangement TableView::arrange(const std::vector<Measured>& rows, double width) const {
  Arrangement arrangement;
  double y = 0.0;
  for (const auto& row : rows) {
    arrangement.slots.push_back({row.indexPath, Rect(0, y, width, row.size.height)});
    y += row.size.height;
  }
  arrangement.contentHeight = y;
  return arrangement;
}

void TableView::didSelect(const IndexPath& indexPath) {
  if (const auto target = delegate()) target->didSelectRowAtIndexPath(*this, indexPath);
}

}  // namespace plexora::platform

// The table view on the headless view tree: rows stacked section after
// section at the delegate's heights, cells made from registered classes and
// reused as rows scroll out and in, taps that select a row, and the
// pictures of what is in view.
#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora::platform {
namespace {

using testing::UITest;

constexpr const char* kRow = "row";

// Remembers the row it shows and how often it was prepared for reuse.
class RowCell final : public TableViewCell {
 public:
  using TableViewCell::TableViewCell;
  void prepareForReuse() override { ++reuses; }

  IndexPath shows;
  int reuses = 0;
};

// Rows of 50 points, row 1 of section 0 twice as tall; red rows at even
// positions, blue at odd ones.
class Rows final : public TableViewDataSource, public TableViewDelegate {
 public:
  std::size_t numberOfSections(TableView&) override { return rowsInSection.size(); }
  std::size_t numberOfRowsInSection(TableView&, std::size_t section) override { return rowsInSection[section]; }
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, const IndexPath& path) override {
    auto cell = std::static_pointer_cast<RowCell>(table.dequeueReusableCellWithIdentifier(kRow, path));
    cell->shows = path;
    cell->setBackgroundColor(path.row % 2 == 0 ? Color{1, 0, 0, 1} : Color{0, 0, 1, 1});
    asked.push_back(path);
    return cell;
  }
  double heightForRowAtIndexPath(TableView&, const IndexPath& path) override {
    return path == IndexPath::forRow(1, 0) ? 100.0 : 50.0;
  }
  void didSelectRowAtIndexPath(TableView&, const IndexPath& path) override { selected.push_back(path); }

  std::vector<std::size_t> rowsInSection{100};
  std::vector<IndexPath> asked;
  std::vector<IndexPath> selected;
};

class TableViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    table_->registerClass(
        [this](const std::string& identifier) {
          ++made_;
          return std::make_shared<RowCell>(identifier);
        },
        kRow);
    table_->setDataSource(rows_);
    table_->setDelegate(rows_);
  }

  std::vector<std::shared_ptr<RowCell>> visibleCells() const {
    std::vector<std::shared_ptr<RowCell>> cells;
    for (const auto& cell : table_->visibleCells()) cells.push_back(std::static_pointer_cast<RowCell>(cell));
    return cells;
  }

  std::shared_ptr<Rows> rows_ = std::make_shared<Rows>();
  // 320 x 200 points at (0, 100) of the screen.
  std::shared_ptr<TableView> table_ = std::make_shared<TableView>(Rect(0, 100, 320, 200));
  int made_ = 0;
};

TEST_F(TableViewTest, ReloadStacksTheRowsAtTheirHeightsAndShowsThoseInView) {
  rows_->rowsInSection = {3, 2};
  table_->reloadData();
  EXPECT_EQ(table_->numberOfSections(), 2u);
  EXPECT_EQ(table_->numberOfRowsInSection(1), 2u);
  EXPECT_EQ(table_->contentSize(), (Size{320, 300}));
  EXPECT_EQ(table_->rectForRowAtIndexPath(IndexPath::forRow(0, 1)), Rect(0, 200, 320, 50)) << "sections follow on";
  EXPECT_EQ(table_->rectForRowAtIndexPath(IndexPath::forRow(2, 1)), std::nullopt);
  EXPECT_EQ(table_->indexPathForRowAtPoint(Point{10, 120}), IndexPath::forRow(1, 0));
  EXPECT_EQ(table_->indexPathForRowAtPoint(Point{10, 300}), std::nullopt) << "below the last row";

  // 200 points show rows 0 to 2 of section 0 and the first of section 1
  // only touches the bottom edge.
  EXPECT_EQ(table_->indexPathsForVisibleRows(),
            (std::vector<IndexPath>{IndexPath::forRow(0, 0), IndexPath::forRow(1, 0), IndexPath::forRow(2, 0)}));
  const auto cells = visibleCells();
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[1]->frame(), Rect(0, 50, 320, 100));
  EXPECT_EQ(cells[1]->superview(), table_);
  EXPECT_EQ(cells[1]->contentView()->frame(), Rect(0, 0, 320, 100)) << "the content view fills the cell";
  EXPECT_EQ(table_->indexPathForCell(*cells[2]), IndexPath::forRow(2, 0));
  EXPECT_EQ(table_->cellForRowAtIndexPath(IndexPath::forRow(0, 1)), nullptr) << "not in view";

  // A reload asks again for every row in view, reusing the cells it had.
  rows_->asked.clear();
  table_->reloadData();
  EXPECT_EQ(rows_->asked.size(), 3u);
  EXPECT_EQ(made_, 3);
}

TEST_F(TableViewTest, ScrollingReusesTheCellsOfRowsThatLeftForRowsThatCameIntoView) {
  table_->reloadData();
  ASSERT_EQ(made_, 3) << "rows 0 to 2 in 200 points";
  const auto first = visibleCells();

  // 40 points down: row 0 still shows, row 3 comes in; nothing leaves.
  table_->setContentOffset(Point{0, 40});
  EXPECT_EQ(visibleCells().front(), first.front()) << "a row still in view keeps its cell";
  EXPECT_EQ(made_, 4);

  // Far down and back up: the four cells serve every row on the way.
  for (double offset = 100; offset <= 4000; offset += 100) table_->setContentOffset(Point{0, offset});
  table_->setContentOffset(Point{0, 0});
  EXPECT_EQ(made_, 4);
  const auto cells = visibleCells();
  ASSERT_EQ(cells.size(), 3u);
  for (const auto& cell : cells) {
    EXPECT_EQ(cell->shows, table_->indexPathForCell(*cell)) << "each cell was set up for the row it shows";
    EXPECT_EQ(cell->frame(), table_->rectForRowAtIndexPath(cell->shows));
    EXPECT_GT(cell->reuses, 0);
  }
  EXPECT_EQ(table_->subviews().size(), 3u) << "cells out of view leave the tree";

  table_->setContentOffset(Point{0, 2000});
  EXPECT_EQ(table_->indexPathsForVisibleRows().front(), IndexPath::forRow(39, 0));
  EXPECT_EQ(table_->indexPathsForVisibleRows().back(), IndexPath::forRow(42, 0));
}

TEST_F(TableViewTest, ATapSelectsTheRowUnderItButADragOrARecognisersTouchDoesNot) {
  auto window = makeKeyWindow();
  window->addSubview(table_);
  table_->reloadData();
  table_->setContentOffset(Point{0, 500});
  auto& application = *Application::shared();

  // Screen y 160 is content y 560: row 10 (rows 2 onwards start at 150).
  EXPECT_TRUE(application.sendTap(Point{160, 160}));
  EXPECT_EQ(rows_->selected, std::vector<IndexPath>{IndexPath::forRow(10, 0)});

  application.sendTouch(TouchPhase::Began, Point{160, 160});
  application.sendTouch(TouchPhase::Moved, Point{160, 180});
  application.sendTouch(TouchPhase::Ended, Point{160, 160});
  EXPECT_EQ(rows_->selected.size(), 1u) << "a touch that moved away is no tap";

  // A recogniser in the cell takes the tap for itself.
  int recognised = 0;
  const auto recognizer = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++recognised; });
  table_->cellForRowAtIndexPath(IndexPath::forRow(10, 0))->contentView()->addGestureRecognizer(recognizer);
  application.sendTap(Point{160, 160});
  EXPECT_EQ(recognised, 1);
  EXPECT_EQ(rows_->selected.size(), 1u);
}

TEST_F(TableViewTest, AnUnregisteredIdentifierOrAMissingCellIsAnError) {
  EXPECT_THROW(table_->dequeueReusableCellWithIdentifier("other", IndexPath{}), Exception);

  class NoCells final : public TableViewDataSource {
   public:
    std::size_t numberOfRowsInSection(TableView&, std::size_t) override { return 1; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, const IndexPath&) override { return nullptr; }
  };
  const auto source = std::make_shared<NoCells>();
  table_->setDataSource(source);
  EXPECT_THROW(table_->reloadData(), Exception);

  // The failed position holds no cell: the next reload starts clean.
  table_->setDataSource(rows_);
  table_->reloadData();
  EXPECT_EQ(table_->visibleCells().size(), 3u);
}

TEST_F(TableViewTest, APictureShowsTheRowsInViewAtTheirPlaces) {
  table_->reloadData();
  table_->setContentOffset(Point{0, 175});
  // Content 175 to 375: row 3 (200 to 250) is blue from 25 to 75 in view,
  // row 4 red below it.
  const auto picture = renderView(*table_, table_->bounds(), 1.0);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(160, 10), (Pixel{255, 0, 0, 255})) << "row 2";
  EXPECT_EQ(picture->pixel(160, 50), (Pixel{0, 0, 255, 255})) << "row 3";
  EXPECT_EQ(picture->pixel(160, 100), (Pixel{255, 0, 0, 255})) << "row 4";
}

}  // namespace
}  // namespace plexora::platform

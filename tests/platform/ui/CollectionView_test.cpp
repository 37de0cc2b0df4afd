// The collection view on the headless view tree: items in lines that break
// at the view's width and at each section, cells reused as items scroll out
// and in, and taps that select an item.
#include "platform/ui/CollectionView.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/UITest.h"

namespace plexora::platform {
namespace {

using testing::UITest;

constexpr const char* kItem = "item";

class ItemCell final : public CollectionViewCell {
 public:
  using CollectionViewCell::CollectionViewCell;
  IndexPath shows;
};

class Items final : public CollectionViewDataSource, public CollectionViewDelegate {
 public:
  std::size_t numberOfSections(CollectionView&) override { return itemsInSection.size(); }
  std::size_t numberOfItemsInSection(CollectionView&, std::size_t section) override {
    return itemsInSection[section];
  }
  std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(CollectionView& view, const IndexPath& path) override {
    auto cell = std::static_pointer_cast<ItemCell>(view.dequeueReusableCellWithReuseIdentifier(kItem, path));
    cell->shows = path;
    return cell;
  }
  Size sizeForItemAtIndexPath(CollectionView& view, const IndexPath& path) override {
    const auto found = sizes.find(path);
    return found == sizes.end() ? view.itemSize() : found->second;
  }
  void didSelectItemAtIndexPath(CollectionView&, const IndexPath& path) override { selected.push_back(path); }

  std::vector<std::size_t> itemsInSection{60};
  std::map<IndexPath, Size> sizes;
  std::vector<IndexPath> selected;
};

class CollectionViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    view_->registerClass(
        [this](const std::string& identifier) {
          ++made_;
          return std::make_shared<ItemCell>(identifier);
        },
        kItem);
    view_->setItemSize(Size{100, 100});
    view_->setDataSource(items_);
    view_->setDelegate(items_);
  }

  std::shared_ptr<Items> items_ = std::make_shared<Items>();
  // Three 100-point items to a line, two lines in view.
  std::shared_ptr<CollectionView> view_ = std::make_shared<CollectionView>(Rect(0, 100, 320, 200));
  int made_ = 0;
};

TEST_F(CollectionViewTest, ItemsFillLinesThatBreakAtTheWidthAndAtEachSection) {
  items_->itemsInSection = {4, 2};
  // A tall second item makes its line taller; a too-wide item takes a line
  // of its own.
  items_->sizes = {{IndexPath::forItem(1, 0), Size{100, 150}}, {IndexPath::forItem(1, 1), Size{400, 50}}};
  view_->reloadData();
  const struct {
    IndexPath path;
    Rect frame;
  } expected[] = {
      {IndexPath::forItem(0, 0), Rect(0, 0, 100, 100)},   {IndexPath::forItem(1, 0), Rect(100, 0, 100, 150)},
      {IndexPath::forItem(2, 0), Rect(200, 0, 100, 100)}, {IndexPath::forItem(3, 0), Rect(0, 150, 100, 100)},
      {IndexPath::forItem(0, 1), Rect(0, 250, 100, 100)}, {IndexPath::forItem(1, 1), Rect(0, 350, 400, 50)},
  };
  for (const auto& item : expected) {
    EXPECT_EQ(view_->frameForItemAtIndexPath(item.path), item.frame) << item.path;
  }
  EXPECT_EQ(view_->contentSize(), (Size{320, 400}));
  EXPECT_EQ(view_->indexPathForItemAtPoint(Point{150, 120}), IndexPath::forItem(1, 0)) << "inside the tall item";
  EXPECT_EQ(view_->indexPathForItemAtPoint(Point{250, 120}), std::nullopt) << "beside a shorter one";
  EXPECT_EQ(view_->indexPathsForVisibleItems(),
            (std::vector<IndexPath>{IndexPath::forItem(0, 0), IndexPath::forItem(1, 0), IndexPath::forItem(2, 0),
                                    IndexPath::forItem(3, 0)}));

  // A narrower view breaks the lines anew.
  view_->setFrame(Rect(0, 100, 200, 200));
  EXPECT_EQ(view_->frameForItemAtIndexPath(IndexPath::forItem(2, 0)), Rect(0, 150, 100, 100));
  EXPECT_EQ(view_->cellForItemAtIndexPath(IndexPath::forItem(2, 0))->frame(), Rect(0, 150, 100, 100));
}

TEST_F(CollectionViewTest, ScrollingReusesCellsAndATapSelectsTheItemUnderIt) {
  auto window = makeKeyWindow();
  window->addSubview(view_);
  view_->reloadData();
  ASSERT_EQ(made_, 6);
  for (double offset = 50; offset <= 1500; offset += 50) view_->setContentOffset(Point{0, offset});
  EXPECT_EQ(made_, 9) << "three lines at most are in view at once";
  for (const auto& cell : view_->visibleCells()) {
    EXPECT_EQ(std::static_pointer_cast<ItemCell>(cell)->shows, view_->indexPathForCell(*cell));
  }

  // Offset 1500: screen (250, 150) is content (250, 1550), line 15's last
  // item.
  EXPECT_TRUE(Application::shared()->sendTap(Point{250, 150}));
  EXPECT_EQ(items_->selected, std::vector<IndexPath>{IndexPath::forItem(47, 0)});
  EXPECT_TRUE(Application::shared()->sendTap(Point{310, 150})) << "beyond the line's items";
  EXPECT_EQ(items_->selected.size(), 1u);
}

}  // namespace
}  // namespace plexora::platform

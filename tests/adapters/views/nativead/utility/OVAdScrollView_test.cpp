// The paging strip: where the pager, the cells and the edge gradients sit,
// how the pager slides as the strip pages (back to the left edge on the
// first page), which frames it refuses, how cells are made, found and
// replaced, and where touches beside the pager go.
#include "adapters/views/nativead/utility/OVAdScrollView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "adapters/OVAdDataModel.h"
#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/utility/OVAdTouchPassthroughView.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/UITest.h"

namespace plexora::testing {
namespace {

using platform::Rect;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A cell that keeps the data it was handed once placed.
class RecordingCell final : public platform::View, public OVAdScrollViewCell {
 public:
  void updateCellWithData(const std::shared_ptr<OVAdDataModel>& data) override { handed.push_back(data); }
  std::vector<std::shared_ptr<OVAdDataModel>> handed;
};

class OVAdScrollViewTest : public platform::testing::UITest {
 protected:
  static OVAdScrollView::Data dataOf(std::size_t count) {
    OVAdScrollView::Data data;
    for (std::size_t index = 0; index < count; ++index) data.push_back(OVAdDataModel::create());
    return data;
  }

  // A strip of `count` cells whose provider counts the cells it makes.
  std::shared_ptr<OVAdScrollView> stripOf(std::size_t count, Rect frame = Rect(0, 0, 300, 200)) {
    auto strip = OVAdScrollView::create();
    strip->setAnimationEnabled(false);
    strip->setData(dataOf(count));
    strip->setChildViewProvider([this](const OVAdScrollView::CellData&, std::uint64_t) {
      ++made_;
      return std::make_shared<RecordingCell>();
    });
    strip->setFrame(frame);
    return strip;
  }

  static void pageTo(const OVAdScrollView& strip, double offset) {
    strip.scrollView()->setContentOffset({offset, 0});
  }

  int made_ = 0;
};

TEST_F(OVAdScrollViewTest, PagerCellsAndContentFollowTheSquareSide) {
  struct Case {
    double yInset;
    Rect pager;
    Rect cell2;
    double contentWidth;
  };
  const Case cases[] = {
      // side = min(300, 200): pages of 208 (200 + 8); 16 + 4 * 208.
      {0, Rect(0, 0, 208, 200), Rect(416, 0, 200, 200), 848},
      // side = min(300, 200 - 20).
      {10, Rect(0, 10, 188, 180), Rect(376, 0, 180, 180), 16 + 4 * 188},
  };
  for (const Case& c : cases) {
    auto strip = OVAdScrollView::create();
    strip->setYInset(c.yInset);
    strip->setData(dataOf(4));
    strip->setChildViewProvider([](const auto&, std::uint64_t) { return std::make_shared<RecordingCell>(); });
    strip->setFrame(Rect(0, 0, 300, 200));
    const auto pager = strip->scrollView();
    EXPECT_EQ(pager->frame(), c.pager) << c.yInset;
    const auto cells = strip->cellViews();
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[2]->frame(), c.cell2) << c.yInset;
    EXPECT_EQ(cells[2]->superview(), pager);
    EXPECT_EQ(cells[2]->contentMode(), platform::ContentMode::ScaleAspectFit);
    EXPECT_DOUBLE_EQ(pager->contentSize().width, c.contentWidth) << c.yInset;
    EXPECT_EQ(strip->hitTestView()->frame(), Rect(0, 0, 300, 200));
  }
}

TEST_F(OVAdScrollViewTest, ThePagerSlidesWithTheProgressAndTheGradientsFollow) {
  // Four pages of 208 in a 300-wide strip: 624 to travel, 92 to slide.
  const auto strip = stripOf(4);
  const auto left = strip->leftGradientView();
  const auto right = strip->rightGradientView();
  struct Step {
    double offset;
    double pagerX;
    double leftAlpha;
    double rightAlpha;
  };
  const Step steps[] = {
      {312, 46, 0.15, 0.15},
      {624, 92, 0.15, 0.0},
      // Back on the first page the pager returns to the left edge.
      {0, 0, 0.0, 0.15},
      {31.2, 4.6, 0.0, 0.15},
  };
  for (const Step& step : steps) {
    pageTo(*strip, step.offset);
    EXPECT_NEAR(strip->ratio(), step.offset / 624, 1e-9) << step.offset;
    EXPECT_NEAR(strip->scrollView()->frame().origin.x, step.pagerX, 1e-9) << step.offset;
    EXPECT_DOUBLE_EQ(left->alpha(), step.leftAlpha) << step.offset;
    EXPECT_DOUBLE_EQ(right->alpha(), step.rightAlpha) << step.offset;
  }
  EXPECT_EQ(left->frame(), Rect(0, 0, 32, 200));
  EXPECT_EQ(right->frame(), Rect(268, 0, 32, 200));
}

TEST_F(OVAdScrollViewTest, NothingToPageThroughLeavesThePagerAndShowsWhatItShould) {
  // One cell: nothing to divide by; the pager stays and both gradients show.
  const auto one = stripOf(1);
  EXPECT_TRUE(std::isnan(one->ratio()));
  EXPECT_DOUBLE_EQ(one->paddingTotal(), 0.0);
  pageTo(*one, 50);
  EXPECT_DOUBLE_EQ(one->scrollView()->frame().origin.x, 0.0);
  EXPECT_DOUBLE_EQ(one->leftGradientView()->alpha(), 0.15);
  EXPECT_DOUBLE_EQ(one->rightGradientView()->alpha(), 0.15);

  // No cells: progress 0, the left gradient hides and the right one shows.
  const auto none = stripOf(0);
  EXPECT_DOUBLE_EQ(none->ratio(), 0.0);
  EXPECT_DOUBLE_EQ(none->leftGradientView()->alpha(), 0.0);
  EXPECT_DOUBLE_EQ(none->rightGradientView()->alpha(), 0.15);
}

TEST_F(OVAdScrollViewTest, AGradientAlreadyShownMovesAtOnce) {
  const auto strip = stripOf(4);
  pageTo(*strip, 312);
  const auto right = strip->rightGradientView();
  ASSERT_DOUBLE_EQ(right->alpha(), 0.15);
  strip->setFrame(Rect(0, 0, 400, 200));
  EXPECT_DOUBLE_EQ(right->alpha(), 0.15);
  EXPECT_EQ(right->frame(), Rect(368, 0, 32, 200));
}

TEST_F(OVAdScrollViewTest, FramesWithoutANormalValueAreRefusedAndOddOnesDoNotBreakIt) {
  const auto strip = stripOf(3);
  const int before = made_;
  for (const Rect& refused : {Rect(0, 0, 0, 0), Rect(0, 0, 1e-310, 0), Rect(-0.0, 0, 0, 0)}) {
    strip->setFrame(refused);
    strip->setBounds(refused);
  }
  EXPECT_EQ(made_, before) << "nothing rebuilt";
  EXPECT_EQ(strip->frame(), Rect(0, 0, 300, 200));

  // Accepted however odd: the strip rebuilds and stays usable.
  for (const Rect& odd : {Rect(0, 0, kInf, 200), Rect(kNaN, kNaN, 300, 200), Rect(0, 0, 300, kNaN),
                          Rect(0, 0, -300, 200), Rect(0, 0, 1e308, 1e308), Rect(0, 0, 300, 1)}) {
    strip->setFrame(odd);
    EXPECT_EQ(strip->count(), 3u);
    pageTo(*strip, 100);
    (void)strip->ratio();
  }
  strip->setXInset(kNaN);
  strip->setFrame(Rect(0, 0, 300, 200));
  pageTo(*strip, 10);
  EXPECT_EQ(strip->count(), 3u);
}

TEST_F(OVAdScrollViewTest, EveryAcceptedFrameMakesNewCellsAndDebugModeRebuildsOnlyOnChange) {
  const auto strip = stripOf(2);
  const auto first = strip->cellViews();
  EXPECT_EQ(made_, 2);
  strip->setFrame(Rect(0, 0, 320, 200));
  EXPECT_EQ(made_, 4);
  for (const auto& old : first) EXPECT_FALSE(old->superview()) << "an old cell left the pager";
  EXPECT_NE(strip->cellViews()[0], first[0]);

  strip->setDebugMode(false);
  EXPECT_EQ(made_, 4);
  strip->setDebugMode(true);
  EXPECT_EQ(made_, 6);
  EXPECT_EQ(strip->scrollView()->backgroundColor(), (platform::Color{0.5, 0, 0, 0.5}));
  strip->setDebugMode(true);
  EXPECT_EQ(made_, 6);
}

TEST_F(OVAdScrollViewTest, CellsGetTheirDataAndAreFoundByIt) {
  const auto strip = stripOf(3);
  const auto& data = strip->data();
  const auto cells = strip->cellViews();
  for (std::size_t index = 0; index < cells.size(); ++index) {
    const auto cell = std::dynamic_pointer_cast<RecordingCell>(cells[index]);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->handed, (std::vector<std::shared_ptr<OVAdDataModel>>{data[index]}));
    EXPECT_EQ(strip->indexForData(data[index]), index);
    EXPECT_EQ(strip->viewForData(data[index]), cells[index]);
    EXPECT_EQ(strip->nativeAdForView(cells[index].get()), data[index]);
  }
  const auto stranger = OVAdDataModel::create();
  EXPECT_EQ(strip->indexForData(stranger), OVAdScrollView::kNotFound);
  EXPECT_FALSE(strip->viewForData(stranger));
  strip->loadPage(7);
  EXPECT_EQ(strip->count(), 3u);
}

TEST_F(OVAdScrollViewTest, ACellWithoutAProviderIsRefusedWithTheReason) {
  const auto strip = OVAdScrollView::create();
  strip->setData(dataOf(1));
  try {
    strip->setFrame(Rect(0, 0, 300, 200));
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
    EXPECT_EQ(exception.reason(), "No child view provider was created for this view.");
  }
  // Without data nothing asks for a cell.
  EXPECT_NO_THROW(OVAdScrollView::create()->setFrame(Rect(0, 0, 300, 200)));
}

TEST_F(OVAdScrollViewTest, LoadingCellsFadesTheOldOnesOutBeforeReplacingThem) {
  auto data = dataOf(2);
  int made = 0;
  const auto strip = OVAdScrollView::createWithCellData(data, [&made](const auto&, std::uint64_t) {
    ++made;
    return std::make_shared<RecordingCell>();
  });
  runMainQueue();
  EXPECT_EQ(made, 0) << "cells come once the fade has run";
  clock_->advance(0.5);
  runMainQueue();
  ASSERT_EQ(strip->count(), 2u);
  const auto old = strip->cellViews();
  EXPECT_DOUBLE_EQ(old[0]->alpha(), 1.0) << "faded in";

  strip->loadCells();
  EXPECT_DOUBLE_EQ(old[0]->alpha(), 0.0);
  EXPECT_EQ(strip->count(), 2u);
  clock_->advance(0.5);
  runMainQueue();
  EXPECT_EQ(made, 4);
  EXPECT_FALSE(strip->isLoading());
  EXPECT_NE(strip->cellViews()[0], old[0]);
}

TEST_F(OVAdScrollViewTest, TouchesBesideThePagerGoToThePager) {
  const auto strip = stripOf(2);
  const auto container = strip->hitTestView();
  const auto pager = strip->scrollView();
  // Beside the 208-wide pager, on the container itself.
  EXPECT_EQ(container->hitTest({250, 100}, nullptr), pager);
  // On a cell the cell keeps the touch.
  EXPECT_EQ(container->hitTest({100, 100}, nullptr), strip->cellViews()[0]);
  EXPECT_FALSE(container->hitTest({350, 100}, nullptr));
}

// Forwards what the pager's delegate hears.
class RecordingScrollDelegate final : public OVAdScrollViewDelegate {
 public:
  void scrollViewDidScroll(platform::ScrollView&) override { ++scrolled; }
  void scrollViewDidEndDecelerating(platform::ScrollView&) override { ++settled; }
  int scrolled = 0;
  int settled = 0;
};

TEST_F(OVAdScrollViewTest, ScrollCallbacksReachTheDelegateAfterThePagerSlid) {
  const auto strip = stripOf(4);
  const auto delegate = std::make_shared<RecordingScrollDelegate>();
  strip->setDelegate(delegate);
  strip->scrollView()->drag({300, 0}, {1, 0});
  EXPECT_GT(delegate->scrolled, 0);
  EXPECT_EQ(delegate->settled, 1);
  EXPECT_GT(strip->scrollView()->frame().origin.x, 0.0);
}

}  // namespace
}  // namespace plexora::testing

#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "platform/ui/Screen.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ViewGeometryTest = UITest;

TEST_F(ViewGeometryTest, BoundsChangesKeepTheCentre) {
  View view(Rect(10, 20, 100, 50));
  EXPECT_EQ(view.center(), (Point{60, 45}));
  view.setBounds(Rect(5, 5, 200, 150));
  EXPECT_EQ(view.center(), (Point{60, 45}));
  EXPECT_EQ(view.frame(), Rect(-40, -30, 200, 150));
  EXPECT_EQ(view.bounds().origin, (Point{5, 5}));
  view.setCenter(Point{0, 0});
  EXPECT_EQ(view.frame(), Rect(-100, -75, 200, 150));
}

TEST_F(ViewGeometryTest, RectanglesThatAreNotFiniteAreIgnored) {
  View view(Rect(1, 2, 3, 4));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  view.setFrame(Rect(nan, 0, 10, 10));
  view.setBounds(Rect(0, 0, std::numeric_limits<double>::infinity(), 1));
  view.setCenter(Point{nan, 1});
  EXPECT_EQ(view.frame(), Rect(1, 2, 3, 4));
}

// window (at the screen's origin)
//   outer at (10, 20), scrolled by (0, 100)
//     inner at (5, 150)
//   other at (200, 300)
class ConversionTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    outer_ = std::make_shared<View>(Rect(10, 20, 300, 400));
    outer_->setBounds(Rect(0, 100, 300, 400));
    inner_ = std::make_shared<View>(Rect(5, 150, 50, 50));
    other_ = std::make_shared<View>(Rect(200, 300, 100, 100));
    window_->addSubview(outer_);
    outer_->addSubview(inner_);
    window_->addSubview(other_);
  }

  std::shared_ptr<Window> window_;
  std::shared_ptr<View> outer_, inner_, other_;
};

TEST_F(ConversionTest, NestedOffsetsAndScrolledBoundsAddUp) {
  // inner's origin is at outer (5, 150), which outer shows at (5, 50) of its
  // frame, that is (15, 70) in the window.
  EXPECT_EQ(inner_->convertPointToView(Point{0, 0}, nullptr), (Point{15, 70}));
  EXPECT_EQ(inner_->convertPointToView(Point{1, 2}, window_.get()), (Point{16, 72}));
  EXPECT_EQ(inner_->convertPointToView(Point{0, 0}, other_.get()), (Point{-185, -230}));
  EXPECT_EQ(other_->convertPointFromView(Point{0, 0}, inner_.get()), (Point{-185, -230}));
  EXPECT_EQ(inner_->convertPointFromView(Point{15, 70}, nullptr), (Point{0, 0}));
  EXPECT_EQ(inner_->convertRectToView(inner_->bounds(), nullptr), Rect(15, 70, 50, 50));
  EXPECT_EQ(outer_->convertRectFromView(Rect(0, 0, 10, 10), inner_.get()), Rect(5, 150, 10, 10));
  EXPECT_EQ(inner_->convertPointToView(Point{3, 4}, inner_.get()), (Point{3, 4}));
}

TEST_F(ConversionTest, ConversionFollowsAScroll) {
  outer_->setBounds(Rect(0, 0, 300, 400));
  EXPECT_EQ(inner_->convertPointToView(Point{0, 0}, nullptr), (Point{15, 170}));
}

TEST_F(ConversionTest, WindowsMeetThroughTheScreen) {
  auto lower = std::make_shared<Window>(Rect(0, 400, 375, 267));
  auto label = std::make_shared<View>(Rect(10, 10, 20, 20));
  lower->addSubview(label);
  EXPECT_EQ(label->convertPointToScreen(Point{0, 0}), (Point{10, 410}));
  EXPECT_EQ(label->convertPointToView(Point{0, 0}, inner_.get()), (Point{-5, 340}));
  EXPECT_EQ(inner_->convertPointToScreen(Point{0, 0}), (Point{15, 70}));
  EXPECT_EQ(label->convertRectFromScreen(Rect(10, 410, 5, 5)), Rect(0, 0, 5, 5));
  // Within its window a null view stands for the window itself.
  EXPECT_EQ(label->convertPointToView(Point{0, 0}, nullptr), (Point{10, 10}));
}

TEST_F(ConversionTest, AViewOutsideAnyWindowConvertsToTheRootOfItsTree) {
  auto root = std::make_shared<View>(Rect(100, 100, 50, 50));
  auto child = std::make_shared<View>(Rect(5, 5, 10, 10));
  root->addSubview(child);
  EXPECT_EQ(child->window(), nullptr);
  EXPECT_EQ(child->convertPointToView(Point{0, 0}, nullptr), (Point{5, 5}));
  EXPECT_EQ(child->convertPointToScreen(Point{0, 0}), (Point{5, 5}));
}

struct AutoresizingCase {
  const char* name;
  AutoresizingMask mask;
  Rect expected;
};

class AutoresizingTest : public UITest, public ::testing::WithParamInterface<AutoresizingCase> {};

// A 100 x 50 child at (20, 10) in a 200 x 100 parent that grows to 300 x 160.
TEST_P(AutoresizingTest, SharesTheChangeAmongTheFlexibleParts) {
  auto parent = std::make_shared<View>(Rect(0, 0, 200, 100));
  auto child = std::make_shared<View>(Rect(20, 10, 100, 50));
  child->setAutoresizingMask(GetParam().mask);
  parent->addSubview(child);
  parent->setFrame(Rect(0, 0, 300, 160));
  EXPECT_EQ(child->frame(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, AutoresizingTest,
    ::testing::Values(
        AutoresizingCase{"None", kAutoresizingNone, Rect(20, 10, 100, 50)},
        AutoresizingCase{"FlexibleSize", kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight,
                         Rect(20, 10, 200, 110)},
        AutoresizingCase{"FlexibleLeftAndTop", kAutoresizingFlexibleLeftMargin | kAutoresizingFlexibleTopMargin,
                         Rect(120, 70, 100, 50)},
        // Width 100 and right margin 80 share 100 points: 100 * 100/180 and 100 * 80/180.
        AutoresizingCase{"FlexibleWidthAndRight", kAutoresizingFlexibleWidth | kAutoresizingFlexibleRightMargin,
                         Rect(20, 10, 100 + 100.0 * 100.0 / 180.0, 50)},
        // Margins of 20 and 80 share 100 points: the view keeps its proportional place.
        AutoresizingCase{"FlexibleSideMargins", kAutoresizingFlexibleLeftMargin | kAutoresizingFlexibleRightMargin,
                         Rect(40, 10, 100, 50)},
        AutoresizingCase{"FlexibleBottom", kAutoresizingFlexibleBottomMargin, Rect(20, 10, 100, 50)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewGeometryTest, FlexiblePartsOfZeroSizeShareTheChangeEqually) {
  auto parent = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto child = std::make_shared<View>(Rect(0, 0, 100, 0));
  child->setAutoresizingMask(kAutoresizingFlexibleTopMargin | kAutoresizingFlexibleHeight);
  parent->addSubview(child);
  // Top 0, height 0, bottom 100 (not flexible): the 40 points go half each way.
  parent->setFrame(Rect(0, 0, 100, 140));
  EXPECT_EQ(child->frame(), Rect(0, 20, 100, 20));
}

TEST_F(ViewGeometryTest, AutoresizingStopsWhereSubviewsAreNotResized) {
  auto parent = std::make_shared<View>(Rect(0, 0, 200, 100));
  auto child = std::make_shared<View>(Rect(0, 0, 200, 100));
  child->setAutoresizingMask(kAutoresizingFlexibleWidth);
  parent->addSubview(child);
  parent->setAutoresizesSubviews(false);
  parent->setBounds(Rect(0, 0, 400, 100));
  EXPECT_EQ(child->frame().size.width, 200);
  parent->setAutoresizesSubviews(true);
  parent->setBounds(Rect(50, 0, 400, 100));  // Only the origin changes: nothing to resize.
  EXPECT_EQ(child->frame().size.width, 200);
}

TEST_F(ViewGeometryTest, WindowsStartHiddenTheSizeOfTheMainScreen) {
  Window window;
  EXPECT_TRUE(window.isHidden());
  EXPECT_EQ(window.frame(), Rect(0, 0, 375, 667));
  EXPECT_EQ(window.screen(), Screen::main());
  EXPECT_EQ(window.windowLevel(), Window::kLevelNormal);
}

}  // namespace
}  // namespace plexora::platform

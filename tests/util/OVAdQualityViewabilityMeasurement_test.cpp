#include "util/OVAdQualityViewabilityMeasurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::Color;
using platform::Rect;
using platform::View;
using platform::Window;

constexpr Color kOpaque = Color::white();

std::shared_ptr<View> addView(const std::shared_ptr<View>& parent, Rect frame,
                              std::optional<Color> background = std::nullopt) {
  auto view = std::make_shared<View>(frame);
  view->setBackgroundColor(background);
  parent->addSubview(view);
  return view;
}

// A 100 x 100 target near the top left of a full-screen window (375 x 667).
class OVAdQualityViewabilityMeasurementTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    container_ = addView(window_, Rect(0, 0, 375, 667));
    target_ = addView(container_, Rect(10, 10, 100, 100));
  }

  float ratio() const { return OVAdQualityViewabilityMeasurement(target_).viewableRatio(); }

  std::shared_ptr<Window> window_;
  std::shared_ptr<View> container_;
  std::shared_ptr<View> target_;
};

TEST_F(OVAdQualityViewabilityMeasurementTest, OffScreenAndClippedPartsCountAsHidden) {
  EXPECT_FLOAT_EQ(ratio(), 1.0f) << "nothing in front, all on screen";

  target_->setFrame(Rect(-50, 10, 100, 100));
  EXPECT_FLOAT_EQ(ratio(), 0.5f) << "half off the left edge";

  target_->setFrame(Rect(10, 617, 100, 100));
  EXPECT_FLOAT_EQ(ratio(), 0.5f) << "half below the bottom edge";

  // A scroll view 60 points high showing the target's upper part.
  target_->setFrame(Rect(10, 10, 100, 100));
  container_->setFrame(Rect(0, 0, 375, 60));
  EXPECT_FLOAT_EQ(ratio(), 1.0f) << "an ancestor that does not clip hides nothing";
  container_->setClipsToBounds(true);
  EXPECT_FLOAT_EQ(ratio(), 0.5f);

  // Scrolled content: the bounds origin moves the target 30 points up.
  container_->setFrame(Rect(0, 0, 375, 667));
  container_->setBounds(Rect(0, 30, 375, 667));
  EXPECT_FLOAT_EQ(ratio(), 0.8f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, AWindowPlacedPartlyOffTheScreenIsCutToTheScreen) {
  auto lower = std::make_shared<Window>(Rect(0, 600, 375, 667));
  lower->makeKeyAndVisible();
  auto host = addView(lower, Rect(0, 0, 375, 200));
  auto target = addView(host, Rect(0, 17, 100, 100));
  EXPECT_FLOAT_EQ(OVAdQualityViewabilityMeasurement(target).viewableRatio(), 0.5f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, OnlyOpaqueViewsInFrontCover) {
  struct Case {
    std::string name;
    std::optional<Color> background;
    double alpha;
    bool hidden;
    float expected;
  };
  const Case cases[] = {
      {"opaque", kOpaque, 1.0, false, 0.75f},
      {"half-transparent colour still blocks", Color::grey(0.5, 0.3), 1.0, false, 0.75f},
      {"clear colour", Color::clear(), 1.0, false, 1.0f},
      {"no colour", std::nullopt, 1.0, false, 1.0f},
      {"fully transparent view", kOpaque, 0.0, false, 1.0f},
      {"hidden view", kOpaque, 1.0, true, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The target's lower right quarter.
    auto cover = addView(container_, Rect(60, 60, 50, 50), c.background);
    cover->setAlpha(c.alpha);
    cover->setHidden(c.hidden);
    EXPECT_FLOAT_EQ(ratio(), c.expected);
    cover->removeFromSuperview();
  }
}

TEST_F(OVAdQualityViewabilityMeasurementTest, ViewsBehindTheTargetCoverNothing) {
  auto behind = std::make_shared<View>(Rect(0, 0, 375, 667));
  behind->setBackgroundColor(kOpaque);
  container_->insertSubview(behind, 0);
  auto behindContainer = std::make_shared<View>(Rect(0, 0, 375, 667));
  behindContainer->setBackgroundColor(kOpaque);
  window_->insertSubview(behindContainer, 0);
  EXPECT_FLOAT_EQ(ratio(), 1.0f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, OverlappingBlockersAreCountedOnce) {
  addView(container_, Rect(60, 60, 50, 50), kOpaque);
  addView(container_, Rect(60, 60, 50, 50), kOpaque);
  addView(container_, Rect(70, 70, 30, 30), kOpaque);
  EXPECT_FLOAT_EQ(ratio(), 0.75f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, OpaqueSubviewsOfAClearViewCoverAndLaterSiblingsOfAncestorsToo) {
  auto clear = addView(container_, Rect(0, 0, 375, 667), Color::clear());
  addView(clear, Rect(10, 10, 50, 100), kOpaque);  // the target's left half
  EXPECT_FLOAT_EQ(ratio(), 0.5f);
  clear->removeFromSuperview();

  // A sibling of the container, drawn after it.
  addView(window_, Rect(10, 85, 100, 50), kOpaque);
  EXPECT_FLOAT_EQ(ratio(), 0.75f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, AClippingBlockerHidesItsSubviewsBeyondItsOwnBounds) {
  // An opaque 10 x 10 corner whose subview would cover the whole target.
  auto corner = addView(container_, Rect(10, 10, 10, 10), kOpaque);
  addView(corner, Rect(0, 0, 100, 100), kOpaque);
  EXPECT_FLOAT_EQ(ratio(), 0.0f) << "without clipping the subview shows and covers the target";
  corner->setClipsToBounds(true);
  EXPECT_FLOAT_EQ(ratio(), 0.99f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, WindowsInFrontOnTheSameScreenCoverLikeViews) {
  auto front = std::make_shared<Window>(Rect(0, 0, 375, 60));
  front->setBackgroundColor(kOpaque);
  EXPECT_FLOAT_EQ(ratio(), 1.0f) << "a window not shown yet";
  front->makeKeyAndVisible();
  EXPECT_FLOAT_EQ(ratio(), 0.5f);

  front->setBackgroundColor(Color::clear());
  addView(front, Rect(10, 10, 50, 100), kOpaque);
  EXPECT_FLOAT_EQ(ratio(), 0.5f) << "a clear window's opaque subview";

  front->setWindowLevel(Window::kLevelNormal - 1);
  EXPECT_FLOAT_EQ(ratio(), 1.0f) << "a window at a lower level is behind";

  front->setWindowLevel(Window::kLevelAlert);
  front->setScreen(platform::Screen::create(platform::testing::portraitPhoneProfile().screen));
  EXPECT_FLOAT_EQ(ratio(), 1.0f) << "a window on another screen";
}

TEST_F(OVAdQualityViewabilityMeasurementTest, DisplayedAlphaBelowNinetyPercentMeansInvisible) {
  struct Case {
    double targetAlpha;
    double containerAlpha;
    float expected;
  };
  const Case cases[] = {
      {0.85, 1.0, 0.0f},
      {0.9, 1.0, 1.0f},
      {1.0, 0.9, 1.0f},
      {0.95, 0.9, 0.0f},  // 0.855 on display
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.targetAlpha << " x " << c.containerAlpha);
    target_->setAlpha(c.targetAlpha);
    container_->setAlpha(c.containerAlpha);
    EXPECT_FLOAT_EQ(ratio(), c.expected);
  }
}

TEST_F(OVAdQualityViewabilityMeasurementTest, ATargetThatCannotBeSeenAtAllGivesZero) {
  container_->setHidden(true);
  EXPECT_EQ(ratio(), 0.0f) << "hidden ancestor";
  container_->setHidden(false);

  window_->setHidden(true);
  EXPECT_EQ(ratio(), 0.0f) << "hidden window";
  window_->setHidden(false);

  target_->setHidden(true);
  EXPECT_EQ(ratio(), 0.0f) << "hidden target";
  target_->setHidden(false);

  target_->setFrame(Rect(10, 10, 0, 100));
  EXPECT_EQ(ratio(), 0.0f) << "empty frame";
  target_->setFrame(Rect(10, 10, 100, 100));

  target_->setFrame(Rect(500, 10, 100, 100));
  EXPECT_EQ(ratio(), 0.0f) << "wholly off the screen";
  target_->setFrame(Rect(10, 10, 100, 100));

  auto detachedRoot = std::make_shared<View>(Rect(0, 0, 375, 667));
  detachedRoot->addSubview(container_);
  EXPECT_EQ(ratio(), 0.0f) << "a tree whose root is no window";

  target_->removeFromSuperview();
  EXPECT_EQ(ratio(), 0.0f) << "no superview";
  EXPECT_EQ(OVAdQualityViewabilityMeasurement().viewableRatio(), 0.0f) << "the empty view of the default";
}

TEST_F(OVAdQualityViewabilityMeasurementTest, NothingIsVisibleWhileTheApplicationIsNotActive) {
  auto application = platform::Application::shared();
  application->transitionTo(platform::ApplicationState::Inactive);
  EXPECT_EQ(ratio(), 0.0f);
  application->transitionTo(platform::ApplicationState::Background);
  EXPECT_EQ(ratio(), 0.0f);
  application->transitionTo(platform::ApplicationState::Active);
  EXPECT_FLOAT_EQ(ratio(), 1.0f);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, BlockersAreCollectedWithTheirWholeClippedRectangles) {
  auto cover = addView(container_, Rect(60, 60, 200, 200), kOpaque);
  addView(container_, Rect(300, 300, 20, 20), kOpaque);  // misses the target
  const Rect target = measurement::clippedScreenRect(*target_);
  EXPECT_EQ(OVAdQualityViewabilityMeasurement::overlappingRectsInView(*target_, target, true),
            (OVAdRects{Rect(60, 60, 200, 200)}));

  container_->setClipsToBounds(true);
  container_->setFrame(Rect(0, 0, 150, 150));
  EXPECT_EQ(OVAdQualityViewabilityMeasurement::intersectingRectsInView(*cover, target, true),
            (OVAdRects{Rect(60, 60, 90, 90)}));
}

TEST(OVAdQualityViewabilityMeasurementUnionTest, OverlapsCountOnceAndRectanglesWithoutAreaAddNothing) {
  struct Case {
    std::string name;
    OVAdRects rects;
    double area;
  };
  const Case cases[] = {
      {"none", {}, 0.0},
      {"one", {Rect(5, 5, 10, 20)}, 200.0},
      {"apart", {Rect(0, 0, 10, 10), Rect(20, 20, 10, 10)}, 200.0},
      {"overlapping", {Rect(0, 0, 10, 10), Rect(5, 5, 10, 10)}, 175.0},
      {"nested", {Rect(0, 0, 10, 10), Rect(2, 2, 3, 3)}, 100.0},
      {"identical", {Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)}, 100.0},
      {"touching", {Rect(0, 0, 10, 10), Rect(10, 0, 10, 10)}, 200.0},
      {"cross", {Rect(0, 4, 10, 2), Rect(4, 0, 2, 10)}, 36.0},
      {"negative size", {Rect(10, 10, -10, -10)}, 100.0},
      {"empty and null", {Rect(0, 0, 0, 10), Rect::null(), Rect(0, 0, 4, 4)}, 16.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(OVAdQualityViewabilityMeasurement::unionAreaOfRects(c.rects), c.area);
  }
}

TEST(OVAdQualityViewabilityMeasurementUnionTest, ALongListOfStaggeredRectanglesKeepsEveryStripApart) {
  // 1000 rectangles, every edge distinct, overlapping their neighbours by a
  // quarter of their height only where the stagger lines them up.
  OVAdRects rects;
  for (int i = 0; i < 1000; ++i) {
    rects.emplace_back(i * 1.0, (i % 4) * 0.75, 1.5, 1.0);
  }
  // Each rectangle shares a 0.5-wide column with the next one; their rows
  // overlap by 0.25 except where the stagger wraps (every fourth pair).
  const double overlaps = 999 * 0.5 * 0.25 - 249 * 0.5 * 0.25;
  EXPECT_NEAR(OVAdQualityViewabilityMeasurement::unionAreaOfRects(rects), 1000 * 1.5 - overlaps, 1e-9);
}

TEST_F(OVAdQualityViewabilityMeasurementTest, ViewFactsFollowTheTree) {
  auto inner = addView(target_, Rect(5, 5, 10, 10));
  EXPECT_EQ(measurement::screenRect(*inner), Rect(15, 15, 10, 10));
  EXPECT_EQ(measurement::screenRect(*window_), Rect(0, 0, 375, 667));
  EXPECT_EQ(measurement::screenRect(View(Rect(5, 5, 10, 10))), Rect::zero()) << "outside any window";

  container_->setAlpha(0.5);
  target_->setAlpha(0.5);
  EXPECT_DOUBLE_EQ(measurement::displayedAlpha(*inner), 0.25);

  EXPECT_TRUE(measurement::isWindow(*window_));
  EXPECT_FALSE(measurement::isWindow(*container_));
  EXPECT_TRUE(measurement::isVisible(*window_));
  EXPECT_FALSE(measurement::isBlocking(*container_)) << "no background colour";

  auto elsewhere = std::make_shared<Window>();
  elsewhere->setScreen(platform::Screen::create(platform::testing::portraitPhoneProfile().screen));
  auto second = std::make_shared<Window>();
  const auto siblings = measurement::siblingWindows(*window_);
  EXPECT_EQ(std::count(siblings.begin(), siblings.end(), elsewhere), 0);
  EXPECT_EQ(std::count(siblings.begin(), siblings.end(), second), 1);
  EXPECT_EQ(std::count(siblings.begin(), siblings.end(), window_), 1);
}

}  // namespace
}  // namespace plexora

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::View;

class OVAdUtilityAnimationsTest : public platform::testing::UITest {
 protected:
  // Lets the clock run to `seconds` after the animation started.
  void advance(double seconds) {
    runMainQueue();
    clock_->advance(seconds);
  }
};

TEST_F(OVAdUtilityAnimationsTest, FadesMoveEveryViewToTheEndAlphaAndCompleteAfterTheStandardDuration) {
  const struct {
    const char* name;
    bool fadeOut;
    double startAlpha;
    double endAlpha;
  } cases[] = {{"in", false, 0.3, 1.0}, {"out", true, 0.7, 0.0}};
  for (const auto& c : cases) {
    auto first = std::make_shared<View>();
    auto second = std::make_shared<View>();
    first->setAlpha(c.startAlpha);
    second->setAlpha(c.startAlpha);
    std::optional<double> alphaInExtras;
    std::optional<bool> finished;
    OVAdUtility::animateWithFade(
        c.fadeOut, {first, second}, [&] { alphaInExtras = first->alpha(); }, [&](bool done) { finished = done; });
    EXPECT_EQ(first->alpha(), c.endAlpha) << c.name;
    EXPECT_EQ(second->alpha(), c.endAlpha) << c.name;
    EXPECT_EQ(alphaInExtras, c.endAlpha) << c.name << ": the extra animations run after the alphas are set";
    advance(0.49);
    EXPECT_FALSE(finished) << c.name;
    advance(0.01);
    EXPECT_EQ(finished, true) << c.name;
  }
}

TEST_F(OVAdUtilityAnimationsTest, FadingOutNoViewsStillRunsTheExtrasAndTheCompletion) {
  bool extras = false;
  bool finished = false;
  OVAdUtility::animateWithFadeOut({}, [&] { extras = true; }, [&](bool) { finished = true; });
  EXPECT_TRUE(extras);
  advance(OVAdUtility::kStandardAnimationDuration);
  EXPECT_TRUE(finished);
}

TEST_F(OVAdUtilityAnimationsTest, GivenDurationsReplaceTheStandardOne) {
  auto view = std::make_shared<View>();
  bool fadedIn = false;
  bool fadedOut = false;
  OVAdUtility::animateWithFadeIn({view}, 2.0, [&](bool) { fadedIn = true; });
  OVAdUtility::animateWithFadeOut({view}, nullptr, 1.0, [&](bool) { fadedOut = true; });
  EXPECT_EQ(view->alpha(), 0.0);
  advance(1.0);
  EXPECT_TRUE(fadedOut);
  EXPECT_FALSE(fadedIn);
  advance(1.0);
  EXPECT_TRUE(fadedIn);
}

TEST_F(OVAdUtilityAnimationsTest, DisabledAnimationsCompleteWithTrueBeforeReturning) {
  auto view = std::make_shared<View>();
  std::optional<bool> finished;
  OVAdUtility::animateEnabled(false, [&] { view->setAlpha(0.25); }, 10.0, [&](bool done) { finished = done; });
  EXPECT_EQ(view->alpha(), 0.25);
  EXPECT_EQ(finished, true);
}

TEST_F(OVAdUtilityAnimationsTest, TransactionsApplyAtOnceAndFinishAfterTheirDurationUnlessDisabled) {
  auto view = std::make_shared<View>();
  bool enabledDone = false;
  bool disabledDone = false;
  OVAdUtility::animateEnabledWithTransactionBlock(true, [&] { view->setAlpha(0.5); }, 0.3, [&] { enabledDone = true; });
  EXPECT_EQ(view->alpha(), 0.5);
  OVAdUtility::animateEnabledWithTransactionBlock(false, [&] { view->setAlpha(0.1); }, 0.3,
                                                   [&] { disabledDone = true; });
  EXPECT_EQ(view->alpha(), 0.1);
  runMainQueue();
  EXPECT_TRUE(disabledDone);
  EXPECT_FALSE(enabledDone);
  advance(0.3);
  EXPECT_TRUE(enabledDone);
}

// Places one green square in its left half when laid out.
class HalfFilledView : public View {
 public:
  using View::View;
  void layoutSubviews() override {
    if (subviews().empty()) {
      auto square = std::make_shared<View>();
      square->setBackgroundColor(platform::Color{0, 1, 0, 1});
      addSubview(square);
    }
    subviews().front()->setFrame(platform::Rect(0, 0, bounds().width() / 2, bounds().height()));
  }
};

TEST_F(OVAdUtilityAnimationsTest, ASnapshotIsAPictureOfTheLaidOutViewAtItsScreensScale) {
  auto window = makeKeyWindow();
  auto view = std::make_shared<HalfFilledView>(platform::Rect(0, 0, 30, 20));
  view->setBackgroundColor(platform::Color{1.0, 0.0, 0.0, 0.5});
  window->addSubview(view);
  view->setNeedsLayout();

  std::shared_ptr<View> seenByBlock;
  const auto image = OVAdUtility::snapshotOfView(view, [&](const std::shared_ptr<View>& v) { seenByBlock = v; });
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(seenByBlock, view);
  EXPECT_EQ(image->scale(), 2.0);
  EXPECT_EQ(image->pixelWidth(), 60u);
  EXPECT_EQ(image->pixelHeight(), 40u);
  EXPECT_EQ(image->pixel(10, 10), (platform::Pixel{0, 255, 0, 255})) << "the subview its layout placed";
  EXPECT_EQ(image->pixel(50, 10), (platform::Pixel{128, 0, 0, 255})) << "opaque: half red over black";

  const auto part = OVAdUtility::snapshotOfView(view, platform::Rect(5, 5, 10.25, 4), nullptr);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->pixelWidth(), 21u) << "a partial pixel is covered";
  EXPECT_EQ(part->pixelHeight(), 8u);
  EXPECT_EQ(part->pixel(19, 0), (platform::Pixel{0, 255, 0, 255})) << "the rectangle is in the view's coordinates";
  EXPECT_EQ(part->pixel(20, 0), (platform::Pixel{128, 0, 0, 255}));
}

TEST_F(OVAdUtilityAnimationsTest, SnapshotsWithoutBackgroundOrSizeOrView) {
  auto loose = std::make_shared<View>(platform::Rect(0, 0, 4, 4));
  const auto black = OVAdUtility::snapshotOfView(loose, nullptr);
  ASSERT_NE(black, nullptr);
  EXPECT_EQ(black->scale(), platform::Screen::main()->scale()) << "outside a window: the main screen's scale";
  EXPECT_EQ(black->pixel(1, 1), (platform::Pixel{0, 0, 0, 255}));

  EXPECT_EQ(OVAdUtility::snapshotOfView(std::make_shared<View>(), nullptr), nullptr);
  EXPECT_EQ(OVAdUtility::snapshotOfView(nullptr, nullptr), nullptr);
}

}  // namespace
}  // namespace plexora

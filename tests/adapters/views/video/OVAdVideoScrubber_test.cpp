// The scrubber's bars for ordinary and broken values, its bar at the bottom
// of the bounds, its growth while a finger is on it (wherever it lands),
// and its invisible thumb.
#include "adapters/views/video/OVAdVideoScrubber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::Rect;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

class OVAdVideoScrubberTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    scrubber_ = OVAdVideoScrubber::initWithFrame(Rect(20, 300, 200, 20));
    window_->addSubview(scrubber_);
  }

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<OVAdVideoScrubber> scrubber_;
};

TEST_F(OVAdVideoScrubberTest, TheBarsStayWithinTheTrack) {
  struct Case {
    const char* name;
    float maximum;
    float value;
    double playable;
    double elapsedWidth;
    double playableWidth;
  };
  // The screen has 2 pixels a point: widths round to half points.
  const Case cases[] = {
      {"a quarter played, half playable", 8.0F, 2.0F, 4.0, 50.0, 100.0},
      {"a third, in whole pixels", 3.0F, 1.0F, 1.0, 66.5, 66.5},
      {"all played", 8.0F, 8.0F, 8.0, 200.0, 200.0},
      {"playable past the end", 8.0F, 0.0F, 30.0, 0.0, 200.0},
      {"negative playable", 8.0F, 0.0F, -2.0, 0.0, 0.0},
      {"playable not a number", 8.0F, 4.0F, kNaN, 100.0, 0.0},
      {"endless playable", 8.0F, 4.0F, kInfinity, 100.0, 0.0},
      {"a maximum of 0", 0.0F, 0.0F, 4.0, 0.0, 0.0},
      {"a negative maximum", -5.0F, -5.0F, 4.0, 0.0, 0.0},
      {"an endless maximum", std::numeric_limits<float>::infinity(), 1.0F, 4.0, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    scrubber_->setMinimumValue(std::min(0.0F, c.maximum));
    scrubber_->setMaximumValue(c.maximum);
    scrubber_->setValue(c.value);
    scrubber_->setPlayableDuration(c.playable);
    scrubber_->layoutIfNeeded();
    EXPECT_EQ(scrubber_->trackMinView()->frame(), Rect(0, 0, c.elapsedWidth, 2));
    EXPECT_EQ(scrubber_->trackLoadingView()->frame(), Rect(0, 0, c.playableWidth, 2));
    EXPECT_EQ(scrubber_->trackMaxView()->frame(), Rect(0, 0, 200, 2));
  }
}

TEST_F(OVAdVideoScrubberTest, TheBarSitsAboveTheHitAreaAtTheBottom) {
  scrubber_->layoutIfNeeded();
  EXPECT_EQ(scrubber_->trackView()->frame(), Rect(0, 18, 200, 2));
  EXPECT_EQ(scrubber_->subviews().front(), scrubber_->trackView()) << "behind the slider's own parts";
  const auto bars = scrubber_->trackView()->subviews();
  ASSERT_EQ(bars.size(), 3U);
  EXPECT_EQ(bars[0], scrubber_->trackMaxView());
  EXPECT_EQ(bars[1], scrubber_->trackLoadingView());
  EXPECT_EQ(bars[2], scrubber_->trackMinView());
  EXPECT_FALSE(scrubber_->trackView()->isUserInteractionEnabled());

  scrubber_->setHitAreaBelowScrubber(5.0);
  scrubber_->setNeedsLayout();
  scrubber_->layoutIfNeeded();
  EXPECT_EQ(scrubber_->trackView()->frame(), Rect(0, 13, 200, 2));
}

TEST_F(OVAdVideoScrubberTest, AFingerAnywhereGrowsTheBarAndMovesTheValue) {
  const auto app = platform::Application::shared();
  scrubber_->setMaximumValue(10.0F);
  scrubber_->setValue(0.0F);
  int changes = 0;
  scrubber_->addAction(platform::kControlEventValueChanged,
                       [&](platform::Control&, const platform::Event*) { ++changes; });

  // Far from the thumb, which sits at the left end.
  app->sendTouch(platform::TouchPhase::Began, platform::Point{170, 310});
  EXPECT_TRUE(scrubber_->isTracking());
  EXPECT_EQ(scrubber_->currentScrubberHeight(), 6.0);
  EXPECT_EQ(scrubber_->currentInset(), 12.0);
  EXPECT_EQ(scrubber_->trackView()->frame(), Rect(12, 14, 176, 6)) << "laid out at once";
  EXPECT_EQ(scrubber_->trackMaxView()->frame(), Rect(0, 0, 176, 6));

  app->sendTouch(platform::TouchPhase::Moved, platform::Point{120, 310});
  EXPECT_FLOAT_EQ(scrubber_->value(), 5.0F);
  EXPECT_EQ(changes, 1);
  scrubber_->layoutIfNeeded();
  EXPECT_EQ(scrubber_->trackMinView()->frame(), Rect(0, 0, 88, 6));

  app->sendTouch(platform::TouchPhase::Ended, platform::Point{120, 500});
  EXPECT_EQ(scrubber_->currentScrubberHeight(), 2.0);
  EXPECT_EQ(scrubber_->currentInset(), 0.0);
  EXPECT_EQ(scrubber_->trackView()->frame(), Rect(0, 18, 200, 2));

  app->sendTouch(platform::TouchPhase::Began, platform::Point{30, 310});
  EXPECT_EQ(scrubber_->currentScrubberHeight(), 6.0);
  app->sendTouch(platform::TouchPhase::Cancelled, platform::Point{30, 310});
  EXPECT_EQ(scrubber_->currentScrubberHeight(), 2.0) << "a cancelled touch shrinks it too";
}

TEST_F(OVAdVideoScrubberTest, TheThumbNeverShows) {
  scrubber_->setMaximumValue(10.0F);
  scrubber_->setValue(5.0F);
  scrubber_->layoutIfNeeded();
  for (const bool highlighted : {false, true}) {
    SCOPED_TRACE(highlighted ? "highlighted" : "normal");
    scrubber_->setHighlighted(highlighted);
    EXPECT_EQ(scrubber_->thumbRect().size, (platform::Size{8, 8}));
    const auto picture = platform::renderView(*scrubber_, scrubber_->bounds(), 1.0);
    ASSERT_TRUE(picture);
    const Rect thumb = scrubber_->thumbRect();
    const auto middleX = static_cast<std::uint32_t>(thumb.midX());
    const auto middleY = static_cast<std::uint32_t>(thumb.midY());
    EXPECT_EQ(picture->pixel(middleX, middleY).alpha, 0);
    EXPECT_EQ(picture->pixel(50, 19), (platform::Pixel{255, 255, 255, 255})) << "the elapsed bar";
  }
}

}  // namespace
}  // namespace plexora

// The progress bar's played width for ordinary and broken times, and its
// picture.
#include "adapters/views/video/OVAdVideoProgressBar.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

using platform::MediaTime;
using OVAdVideoProgressBarTest = platform::testing::UITest;

MediaTime seconds(double value) { return MediaTime::make(static_cast<std::int64_t>(value * 1000), 1000); }

TEST_F(OVAdVideoProgressBarTest, ThePlayedWidthStaysWithinTheBar) {
  struct Case {
    const char* name;
    MediaTime current;
    MediaTime duration;
    double width;
  };
  const Case cases[] = {
      {"a quarter", seconds(2.5), seconds(10), 50.0},
      {"the end", seconds(10), seconds(10), 200.0},
      {"past the end", seconds(15), seconds(10), 200.0},
      {"before the start", seconds(-1), seconds(10), 0.0},
      {"no duration yet", seconds(5), MediaTime::invalid(), 0.0},
      {"a duration of 0", seconds(5), seconds(0), 0.0},
      {"a negative duration", seconds(5), seconds(-3), 0.0},
      {"an indefinite duration", seconds(5), MediaTime::indefinite(), 0.0},
      {"an endless duration", seconds(5), MediaTime::positiveInfinity(), 0.0},
      {"an endless position", MediaTime::positiveInfinity(), seconds(10), 0.0},
      {"an invalid position", MediaTime::invalid(), seconds(10), 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bar = OVAdVideoProgressBar::init();
    bar->setFrame({0, 0, 200, 4});
    bar->setDuration(c.duration);
    bar->setCurrentTime(c.current);
    bar->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(bar->progressView()->frame().width(), c.width);
    EXPECT_DOUBLE_EQ(bar->progressView()->frame().height(), 4.0);
  }
}

TEST_F(OVAdVideoProgressBarTest, ANewDurationShowsAtTheNextLayout) {
  const auto bar = OVAdVideoProgressBar::init();
  bar->setFrame({0, 0, 100, 4});
  bar->setCurrentTime(seconds(5));
  bar->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(bar->progressView()->frame().width(), 0.0);
  bar->setDuration(seconds(10));
  EXPECT_FALSE(bar->needsLayout());
  bar->setCurrentTime(seconds(5));
  bar->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(bar->progressView()->frame().width(), 50.0);
}

TEST_F(OVAdVideoProgressBarTest, ThePlayedPartIsDrawnInTheProgressColour) {
  const auto bar = OVAdVideoProgressBar::init();
  EXPECT_FALSE(bar->progressColor());
  bar->setFrame({0, 0, 100, 4});
  bar->setProgressColor(platform::Color{0.31, 0.51, 0.97, 1.0});
  bar->setDuration(seconds(8));
  bar->setCurrentTime(seconds(2));
  bar->layoutIfNeeded();
  const auto image = platform::renderView(*bar, bar->bounds(), 1.0, platform::Color::black());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixel(10, 2), (platform::Pixel{79, 130, 248, 255}));
  EXPECT_EQ(image->pixel(24, 2).blue, 248);
  EXPECT_EQ(image->pixel(26, 2), (platform::Pixel{0, 0, 0, 255}));
}

}  // namespace
}  // namespace plexora

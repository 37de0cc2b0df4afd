// The skip button's countdown ratio, and its picture in each state: the
// disc with an empty or half sector while counting down, then the skip
// symbol or the cross.
#include "adapters/views/video/OVAdVideoSkipButton.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

using platform::MediaTime;
using platform::Pixel;
using OVAdVideoSkipButtonTest = platform::testing::UITest;

MediaTime seconds(double value) { return MediaTime::make(static_cast<std::int64_t>(value * 1000), 1000); }

TEST_F(OVAdVideoSkipButtonTest, TheCompleteRatioStaysWithinZeroAndOne) {
  struct Case {
    const char* name;
    MediaTime current;
    MediaTime duration;
    double ratio;
  };
  const Case cases[] = {
      {"start", seconds(0), seconds(5), 0.0},
      {"half way", seconds(2.5), seconds(5), 0.5},
      {"past the countdown", seconds(7), seconds(5), 1.0},
      {"before the start", seconds(-1), seconds(5), 0.0},
      {"no countdown", seconds(1), seconds(0), 0.0},
      {"a negative countdown", seconds(1), seconds(-2), 0.0},
      {"an invalid countdown", seconds(1), MediaTime::invalid(), 0.0},
      {"an endless countdown", seconds(1), MediaTime::positiveInfinity(), 0.0},
      {"an endless position", MediaTime::positiveInfinity(), seconds(5), 0.0},
      {"an indefinite position", MediaTime::indefinite(), seconds(5), 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto button = OVAdVideoSkipButton::initWithDuration(c.duration, OVAdVideoSkipButton::kIconSkip);
    button->setCurrentTime(c.current);
    EXPECT_DOUBLE_EQ(button->completeRatio(), c.ratio);
  }
}

// A 60-point button over black: the disc's radius is 18.84 around (30, 30).
std::shared_ptr<platform::Image> picture(const MediaTime& current, std::int64_t icon) {
  const auto button = OVAdVideoSkipButton::initWithDuration(seconds(5), icon);
  button->setFrame({0, 0, 60, 60});
  button->setCurrentTime(current);
  return platform::renderView(*button, button->bounds(), 1.0, platform::Color::black());
}

bool isWhite(const Pixel& pixel) { return pixel.red > 215 && pixel.green > 215; }
bool isDark(const Pixel& pixel) { return pixel.red < 30; }
bool isGrey(const Pixel& pixel, int level) { return std::abs(pixel.red - level) < 12; }

TEST_F(OVAdVideoSkipButtonTest, TheSectorGrowsClockwiseThenTheIconReplacesIt) {
  const auto start = picture(seconds(0), OVAdVideoSkipButton::kIconSkip);
  ASSERT_TRUE(start);
  EXPECT_TRUE(isWhite(start->pixel(40, 30))) << "an empty sector";
  EXPECT_TRUE(isWhite(start->pixel(20, 30)));
  EXPECT_TRUE(isDark(start->pixel(2, 2))) << "outside the disc";

  const auto half = picture(seconds(2.5), OVAdVideoSkipButton::kIconSkip);
  ASSERT_TRUE(half);
  EXPECT_TRUE(isDark(half->pixel(40, 30))) << "the right half is covered";
  EXPECT_TRUE(isDark(half->pixel(32, 45)));
  EXPECT_TRUE(isWhite(half->pixel(20, 30))) << "the left half is not";

  const auto skip = picture(seconds(5), OVAdVideoSkipButton::kIconSkip);
  ASSERT_TRUE(skip);
  EXPECT_TRUE(isGrey(skip->pixel(28, 30), 77)) << "inside the triangle";
  EXPECT_TRUE(isGrey(skip->pixel(37, 30), 77)) << "the bar at the tip";
  EXPECT_TRUE(isWhite(skip->pixel(30, 21))) << "above the triangle";
  EXPECT_TRUE(isWhite(skip->pixel(40, 30))) << "no sector any more";

  const auto cross = picture(seconds(5), OVAdVideoSkipButton::kIconCross);
  ASSERT_TRUE(cross);
  EXPECT_TRUE(isGrey(cross->pixel(30, 30), 128)) << "where the lines cross";
  EXPECT_TRUE(isGrey(cross->pixel(26, 26), 128));
  EXPECT_TRUE(isWhite(cross->pixel(26, 30)));
  EXPECT_TRUE(isWhite(cross->pixel(28, 30)) || isWhite(cross->pixel(27, 30)));
}

TEST_F(OVAdVideoSkipButtonTest, TheDiscCastsASoftShadow) {
  const auto button = OVAdVideoSkipButton::initWithDuration(seconds(5), OVAdVideoSkipButton::kIconSkip);
  button->setFrame({0, 0, 60, 60});
  const auto image = platform::renderView(*button, button->bounds(), 1.0, platform::Color::white());
  ASSERT_TRUE(image);
  EXPECT_LT(image->pixel(30, 9).red, 245) << "just above the disc";
  EXPECT_EQ(image->pixel(1, 1).red, 255) << "far from it";
}

TEST_F(OVAdVideoSkipButtonTest, AnEmptyButtonDrawsNothing) {
  const auto button = std::make_shared<OVAdVideoSkipButton>();
  EXPECT_EQ(button->iconType(), OVAdVideoSkipButton::kIconSkip);
  EXPECT_EQ(button->progressColor(), platform::Color::black());
  button->setFrame({0, 0, 1, 1});
  const auto image = platform::renderView(*button, button->bounds(), 1.0, platform::Color::white());
  ASSERT_TRUE(image);
}

}  // namespace
}  // namespace plexora

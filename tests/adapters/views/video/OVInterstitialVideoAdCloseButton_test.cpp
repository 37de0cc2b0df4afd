// The close button's ratio and its picture: the wedge while the ad may not
// be closed yet, then the cross.
#include "adapters/views/video/OVInterstitialVideoAdCloseButton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

using platform::Color;
using platform::MediaTime;
using platform::Pixel;
using OVInterstitialVideoAdCloseButtonTest = platform::testing::UITest;

MediaTime seconds(double value) { return MediaTime::make(static_cast<std::int64_t>(value * 1000), 1000); }

TEST_F(OVInterstitialVideoAdCloseButtonTest, TheCompleteRatioStaysWithinZeroAndOne) {
  struct Case {
    const char* name;
    MediaTime current;
    MediaTime duration;
    double ratio;
  };
  const Case cases[] = {
      {"start", seconds(0), seconds(5), 0.0},
      {"half way", seconds(2.5), seconds(5), 0.5},
      {"past the duration", seconds(9), seconds(5), 1.0},
      {"a zero duration", seconds(1), seconds(0), 0.0},
      {"an invalid duration", seconds(1), MediaTime::invalid(), 0.0},
      {"an indefinite time", MediaTime::indefinite(), seconds(5), 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto button = OVInterstitialVideoAdCloseButton::initWithDuration(c.duration);
    button->setCurrentTime(c.current);
    EXPECT_DOUBLE_EQ(button->completeRatio(), c.ratio);
  }
}

TEST_F(OVInterstitialVideoAdCloseButtonTest, StartsClearWithABlackWedgeAndNoFrame) {
  const auto button = OVInterstitialVideoAdCloseButton::initWithDuration(seconds(5));
  EXPECT_EQ(button->frame(), platform::Rect());
  EXPECT_EQ(button->backgroundColor(), Color::clear());
  EXPECT_EQ(button->progressColor(), Color::black());
  EXPECT_EQ(button->currentTime(), MediaTime::zero());
  EXPECT_EQ(OVInterstitialVideoAdCloseButton().duration(), MediaTime::zero());
}

// The 43-point button of the interstitial drawn at twice its size over
// black: inset 8.0, diameter 27.0, radius 13.5 around (21.5, 21.5), so in
// pixels a radius of 27 around (43, 43).
constexpr Color kAccent{0.31F, 0.51F, 0.97F, 1.0};

std::shared_ptr<platform::Image> picture(const MediaTime& current, const MediaTime& duration) {
  const auto button = OVInterstitialVideoAdCloseButton::initWithDuration(duration);
  button->setFrame({0, 0, 43, 43});
  button->setProgressColor(kAccent);
  button->setCurrentTime(current);
  return platform::renderView(*button, button->bounds(), 2.0, Color::black());
}

bool isWhite(const Pixel& pixel) { return pixel.red > 215 && pixel.green > 215 && pixel.blue > 215; }
bool isAccent(const Pixel& pixel) {
  return std::abs(pixel.red - 79) < 14 && std::abs(pixel.green - 130) < 14 && pixel.blue > 225;
}
bool isGrey(const Pixel& pixel) { return std::abs(pixel.red - 128) < 20 && std::abs(pixel.blue - 128) < 20; }
bool isDark(const Pixel& pixel) { return pixel.red < 40 && pixel.blue < 40; }

TEST_F(OVInterstitialVideoAdCloseButtonTest, TheWedgeFillsClockwiseFromTwelveOClock) {
  const auto start = picture(seconds(0), seconds(5));
  ASSERT_TRUE(start);
  EXPECT_TRUE(isWhite(start->pixel(60, 43))) << "nothing played: no wedge";
  EXPECT_TRUE(isDark(start->pixel(2, 2))) << "outside the disc";

  const auto half = picture(seconds(2.5), seconds(5));
  ASSERT_TRUE(half);
  EXPECT_TRUE(isAccent(half->pixel(60, 43))) << "the right half is filled";
  EXPECT_TRUE(isAccent(half->pixel(50, 28)));
  EXPECT_TRUE(isAccent(half->pixel(50, 60)));
  EXPECT_TRUE(isWhite(half->pixel(26, 43))) << "the left half is not";
  EXPECT_TRUE(isWhite(half->pixel(36, 28)));

  const auto quarter = picture(seconds(1.25), seconds(5));
  ASSERT_TRUE(quarter);
  EXPECT_TRUE(isAccent(quarter->pixel(55, 31))) << "twelve to three o'clock";
  EXPECT_TRUE(isWhite(quarter->pixel(55, 55))) << "three to six o'clock not yet";
}

TEST_F(OVInterstitialVideoAdCloseButtonTest, TheCrossShowsOnceTheDurationIsReachedOrZero) {
  struct Case {
    const char* name;
    MediaTime current;
    MediaTime duration;
  };
  const Case cases[] = {
      {"at the duration", seconds(5), seconds(5)},
      {"past it", seconds(8), seconds(5)},
      {"a zero duration at the start", seconds(0), MediaTime::zero()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto image = picture(c.current, c.duration);
    ASSERT_TRUE(image);
    EXPECT_TRUE(isGrey(image->pixel(43, 43))) << "the cross's centre";
    EXPECT_TRUE(isGrey(image->pixel(37, 37))) << "on a diagonal";
    EXPECT_TRUE(isWhite(image->pixel(43, 30))) << "the disc between the arms";
    EXPECT_TRUE(isWhite(image->pixel(60, 43))) << "no wedge";
  }
}

}  // namespace
}  // namespace plexora

// The video interstitial's choice of layout and the geometry of each.
#include "adapters/views/video/OVInterstitialVideoAdLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plexora {
namespace {

using platform::Rect;
using platform::Size;
using Kind = OVInterstitialVideoAdLayoutKind;

constexpr std::int64_t kPortrait = 1;
constexpr std::int64_t kUpsideDown = 2;
constexpr std::int64_t kLandscape = 3;
constexpr double kWide = 16.0 / 9.0;

TEST(OVInterstitialVideoAdLayoutTest, ChoosesByScreenOrientationSizeAndAspect) {
  struct Case {
    const char* name;
    Size size;
    std::int64_t orientation;
    double aspect;
    Kind kind;
  };
  const Case cases[] = {
      {"portrait phone, square video: 292 points below", {375, 667}, kPortrait, 1.0, Kind::PortraitList},
      {"portrait phone, wide video: 456 points below", {375, 667}, kPortrait, kWide, Kind::PortraitList},
      {"an aspect of exactly 0.95 counts as nearly square", {375, 667}, kPortrait, 0.95F, Kind::PortraitList},
      {"a taller video is no list", {375, 667}, kPortrait, 0.949, Kind::StackedBanner},
      {"small portrait screen: only 160 points below", {320, 480}, kPortrait, 1.0, Kind::StackedBanner},
      {"wide portrait screen, tall video", {768, 1024}, kPortrait, 0.5, Kind::Banner},
      {"portrait at exactly 480 wide stays stacked", {480, 900}, kPortrait, 0.5, Kind::StackedBanner},
      {"landscape phone, wide video", {667, 375}, kLandscape, kWide, Kind::Banner},
      {"landscape phone, square video: 292 points beside", {667, 375}, kLandscape, 1.0, Kind::LandscapeList},
      {"landscape, nearly square video", {667, 375}, kLandscape, 1.04, Kind::LandscapeList},
      {"landscape, not square enough", {667, 375}, kLandscape, 1.06, Kind::Banner},
      {"landscape, too little beside the video", {480, 320}, kLandscape, 1.0, Kind::Banner},
      // The screen's orientation decides, not the view's shape: an
      // upside-down portrait screen takes the landscape rules.
      {"upside down is not portrait", {375, 667}, kUpsideDown, 1.0, Kind::Banner},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OVInterstitialVideoAdLayout::choose(c.size, c.orientation, c.aspect), c.kind);
  }
}

TEST(OVInterstitialVideoAdLayoutTest, AVideoWithoutAUsableSizeIsLaidOutAsSixteenByNine) {
  const double fallback = 16.0F / 9.0F;
  const double cases[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (const double natural : cases) {
    SCOPED_TRACE(natural);
    const double aspect = OVInterstitialVideoAdLayout::aspectRatio(natural);
    EXPECT_DOUBLE_EQ(aspect, fallback);
    OVInterstitialVideoAdLayoutInput input;
    input.size = {667, 375};
    input.orientation = kLandscape;
    input.aspect = aspect;
    const auto frames = OVInterstitialVideoAdLayout::layout(input);
    EXPECT_EQ(frames.kind, Kind::Banner);
    EXPECT_TRUE(std::isfinite(frames.video.width()) && frames.video.width() > 0.0);
  }
  EXPECT_DOUBLE_EQ(OVInterstitialVideoAdLayout::aspectRatio(1.5), 1.5);
}

TEST(OVInterstitialVideoAdLayoutTest, ArrangesViewsWithEqualGaps) {
  EXPECT_EQ(OVInterstitialVideoAdLayout::arrangeVertically({20, 64, 40}, 204), (std::vector<double>{20, 60, 144}));
  EXPECT_EQ(OVInterstitialVideoAdLayout::arrangeVertically({100}, 100), (std::vector<double>{0}));
  EXPECT_TRUE(OVInterstitialVideoAdLayout::arrangeVertically({}, 100).empty());
}

// A title one line of 22 points up to 200 wide; a subtitle two lines of 20.
OVInterstitialVideoAdLayoutInput fullInput(Size size, std::int64_t orientation, double aspect) {
  OVInterstitialVideoAdLayoutInput input;
  input.size = size;
  input.orientation = orientation;
  input.aspect = aspect;
  input.hasCallToAction = true;
  input.callToActionFittingWidth = 60;
  input.hasIcon = true;
  input.titleFit = [](double width) { return Size{std::min(width, 200.0), 22}; };
  input.subtitleFit = [](double width) { return Size{std::min(width, 300.0), 40}; };
  input.subtitleLineHeight = 20;
  return input;
}

TEST(OVInterstitialVideoAdLayoutTest, PortraitListPutsTheDetailsInTheBandBelowTheVideo) {
  const auto f = OVInterstitialVideoAdLayout::layout(fullInput({375, 667}, kPortrait, 1.0));
  ASSERT_EQ(f.kind, Kind::PortraitList);
  EXPECT_TRUE(f.isList());
  EXPECT_EQ(f.video, Rect(0, 0, 375, 375));
  EXPECT_EQ(f.playPause, Rect(152.5, 152.5, 70, 70));
  EXPECT_EQ(f.progressBar, Rect(0, 375, 375, 5));
  EXPECT_EQ(f.callToAction, Rect(30, 587, 315, 50));
  EXPECT_FALSE(f.gradient);
  // 667 - 375 - 5 - 80 = 207 free under the bar.
  EXPECT_EQ(f.details, Rect(30, 380, 315, 207));
  // 207 - 22 - 64 - 40 = 81 in four gaps of 20.25.
  EXPECT_EQ(f.title, Rect(0, 20.25, 315, 22));
  EXPECT_EQ(f.icon, Rect(125.5, 62.5, 64, 64));
  EXPECT_EQ(f.subtitle, Rect(0, 146.75, 315, 40));
  EXPECT_TRUE(f.titleCentered);
  EXPECT_FALSE(f.subtitleCentered) << "two lines are left-aligned";
  EXPECT_EQ(f.closeButton, Rect(332, 0, 43, 43));
}

TEST(OVInterstitialVideoAdLayoutTest, LandscapeListPutsTheDetailsInTheColumnBesideTheVideo) {
  auto input = fullInput({667, 375}, kLandscape, 1.0);
  input.subtitleFit = [](double width) { return Size{width, 20}; };
  const auto f = OVInterstitialVideoAdLayout::layout(input);
  ASSERT_EQ(f.kind, Kind::LandscapeList);
  EXPECT_EQ(f.video, Rect(0, 0, 375, 375));
  EXPECT_EQ(f.playPause, Rect(152.5, 152.5, 70, 70));
  EXPECT_EQ(f.progressBar, Rect(0, 370, 375, 5));
  EXPECT_EQ(f.callToAction, Rect(387, 313, 268, 50));
  // Between the close button and the call to action: 375 - 43 - 62.
  EXPECT_EQ(f.details, Rect(387, 43, 268, 270));
  EXPECT_EQ(f.icon, Rect(102, f.icon->origin.y, 64, 64));
  EXPECT_TRUE(f.subtitleCentered) << "one line is centred";
  EXPECT_EQ(f.closeButton, Rect(624, 0, 43, 43));
}

TEST(OVInterstitialVideoAdLayoutTest, BannerLaysTheDetailsOverTheVideosLowerEdge) {
  const auto f = OVInterstitialVideoAdLayout::layout(fullInput({667, 375}, kLandscape, kWide));
  ASSERT_EQ(f.kind, Kind::Banner);
  EXPECT_FALSE(f.isList());
  EXPECT_NEAR(f.video.origin.x, (667 - kWide * 375) / 2, 1e-9);
  EXPECT_NEAR(f.video.width(), kWide * 375, 1e-9);
  EXPECT_EQ(f.video.height(), 375);
  EXPECT_EQ(f.playPause, Rect(298.5, 152.5, 70, 70));
  EXPECT_EQ(f.progressBar, Rect(0, 370, 667, 5));
  EXPECT_EQ(f.callToAction, Rect(555, 308, 100, 50));
  // 643 - 112 wide; the title and subtitle (62) are shorter than the icon.
  EXPECT_EQ(f.details, Rect(12, 294, 531, 64));
  EXPECT_EQ(f.icon, Rect(0, 0, 64, 64));
  EXPECT_EQ(f.title, Rect(76, 1, 200, 22));
  EXPECT_EQ(f.subtitle, Rect(76, 23, 300, 40));
  EXPECT_FALSE(f.titleCentered);
  EXPECT_EQ(f.gradient, Rect(0, 282, 667, 93));
}

TEST(OVInterstitialVideoAdLayoutTest, BannerLimitsTheTextWidthAndCentresATallVideo) {
  auto input = fullInput({1024, 768}, kLandscape, 0.5);
  input.hasCallToAction = false;
  double askedWidth = 0;
  input.titleFit = [&askedWidth](double width) {
    askedWidth = width;
    return Size{width, 22};
  };
  const auto f = OVInterstitialVideoAdLayout::layout(input);
  ASSERT_EQ(f.kind, Kind::Banner);
  EXPECT_EQ(f.video, Rect(320, 0, 384, 768));
  EXPECT_EQ(askedWidth, 567);
  EXPECT_FALSE(f.callToAction);
  EXPECT_EQ(f.details->width(), 1000);
}

TEST(OVInterstitialVideoAdLayoutTest, StackedBannerStacksTheDetailsAboveAFullWidthCallToAction) {
  OVInterstitialVideoAdLayoutInput input;
  input.size = {320, 480};
  input.orientation = kPortrait;
  input.aspect = 1.0;
  input.titleFit = [](double width) { return Size{std::min(width, 200.0), 22}; };
  const auto bare = OVInterstitialVideoAdLayout::layout(input);
  ASSERT_EQ(bare.kind, Kind::StackedBanner);
  EXPECT_EQ(bare.video, Rect(0, 0, 320, 320)) << "at the top";
  EXPECT_EQ(bare.playPause, Rect(125, 125, 70, 70));
  EXPECT_EQ(bare.progressBar, Rect(0, 475, 320, 5));
  EXPECT_FALSE(bare.callToAction);
  EXPECT_FALSE(bare.icon);
  EXPECT_EQ(bare.details, Rect(12, 441, 296, 22));
  EXPECT_EQ(bare.title, Rect(0, 0, 200, 22)) << "no icon column";
  EXPECT_EQ(bare.gradient, Rect(0, 429, 320, 51));

  input.hasCallToAction = true;
  const auto withAction = OVInterstitialVideoAdLayout::layout(input);
  EXPECT_EQ(withAction.callToAction, Rect(12, 413, 296, 50));
  EXPECT_EQ(withAction.details, Rect(12, 379, 296, 22));
  EXPECT_EQ(withAction.gradient, Rect(0, 367, 320, 113));
}

TEST(OVInterstitialVideoAdLayoutTest, WithoutDetailsTheGradientStaysHidden) {
  struct Case {
    const char* name;
    Size size;
    std::int64_t orientation;
    double aspect;
  };
  const Case cases[] = {{"banner", {667, 375}, kLandscape, kWide},
                        {"stacked banner", {320, 480}, kPortrait, 1.0},
                        {"portrait list", {375, 667}, kPortrait, 1.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OVInterstitialVideoAdLayoutInput input;
    input.size = c.size;
    input.orientation = c.orientation;
    input.aspect = c.aspect;
    input.hasCallToAction = true;
    const auto f = OVInterstitialVideoAdLayout::layout(input);
    EXPECT_FALSE(f.gradient);
    EXPECT_FALSE(f.details);
    EXPECT_TRUE(f.callToAction);
  }
}

}  // namespace
}  // namespace plexora

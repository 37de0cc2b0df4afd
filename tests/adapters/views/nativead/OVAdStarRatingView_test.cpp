// The star rating drawn for real: which stars come out in which colour,
// the half star of a fractional rating, and ratings from the server that are
// out of range or not numbers.
#include "plexora/OVAdStarRatingView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/ui/Image.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/UITest.h"

namespace plexora::testing {
namespace {

using platform::Pixel;
using platform::Rect;

// Stars of size 18 in a row 20 high, centred at x 10, 28, 46, ...
constexpr double kFirstStarCentre = 10;
constexpr double kStarSize = 18;

class OVAdStarRatingViewTest : public platform::testing::UITest {
 protected:
  // What each of the first `stars` stars shows 2 points left and 2 points
  // right of its centre (the right half is what a fractional rating paints
  // over), in a row just wide enough for them: 'Y' yellow, 'G' grey, '.'
  // nothing.
  static std::string starsOf(OVAdStarRating rating, int stars = 10) {
    OVAdStarRatingView view(Rect(0, 0, kStarSize * stars + 2, 20), rating);
    const auto image = platform::renderView(view, view.bounds(), 1.0);
    std::string shown;
    for (int star = 0; star < stars; ++star) {
      const double x = kFirstStarCentre + kStarSize * star;
      for (const double dx : {-2.0, 2.0}) {
        const Pixel pixel = image->pixel(static_cast<std::uint32_t>(x + dx), 9);
        if (pixel.alpha < 128) {
          shown += '.';
        } else if (pixel.blue < 60 && pixel.red > 200) {
          shown += 'Y';
        } else {
          shown += 'G';
        }
      }
      shown += ' ';
    }
    return shown;
  }
};

TEST_F(OVAdStarRatingViewTest, StarSizeAndSpacingFollowTheShorterSide) {
  OVAdStarRatingView row(Rect(0, 0, 100, 20));
  EXPECT_DOUBLE_EQ(row.width(), 18);
  EXPECT_DOUBLE_EQ(row.xIncrement(), 18);
  EXPECT_DOUBLE_EQ(row.xCenter(), 10);
  EXPECT_DOUBLE_EQ(row.yCenter(), 10);
  row.setFrame(Rect(0, 0, 20, 200));
  EXPECT_DOUBLE_EQ(row.width(), 18) << "a tall view is limited by its width";
  EXPECT_DOUBLE_EQ(row.xCenter(), 10);
}

TEST_F(OVAdStarRatingViewTest, RatingsColourTheirStars) {
  struct Case {
    OVAdStarRating rating;
    const char* shown;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {{4.0, 5}, "YY YY YY YY GG .. .. .. .. .. "},
      {{4.3, 5}, "YY YY YY YY YG .. .. .. .. .. "},
      {{4.9, 5}, "YY YY YY YY YG .. .. .. .. .. "},
      {{0.0, 5}, "GG GG GG GG GG .. .. .. .. .. "},
      {{2.0, 3}, "YY YY GG .. .. .. .. .. .. .. "},
      {{3.0, 0}, ".. .. .. .. .. .. .. .. .. .. "},
      // A scale above five keeps its stars: 3 of 10 is three stars of ten.
      {{3.0, 10}, "YY YY YY GG GG GG GG GG GG GG "},
      {{6.5, 10}, "YY YY YY YY YY YY YG GG GG GG "},
      {{10.0, 10}, "YY YY YY YY YY YY YY YY YY YY "},
      // Server values the row cannot show are bounded, never drawn wild.
      {{9.0, 5}, "YY YY YY YY YY .. .. .. .. .. "},
      {{-2.0, 5}, "GG GG GG GG GG .. .. .. .. .. "},
      {{nan, 5}, "GG GG GG GG GG .. .. .. .. .. "},
      {{infinity, 5}, "YY YY YY YY YY .. .. .. .. .. "},
      {{3.0, -4}, ".. .. .. .. .. .. .. .. .. .. "},
      {{1.0, 2'000'000'000}, "YY GG GG GG GG GG GG GG GG GG "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(starsOf(c.rating), c.shown) << c.rating.value << " of " << c.rating.scale;
  }
}

TEST_F(OVAdStarRatingViewTest, AnAbsurdScaleDrawsAtMostTheRowsLimitWithoutAHalfStarPastIt) {
  constexpr int kLimit = static_cast<int>(kOVAdStarRatingMaxStars);
  // The half star of 150.5 would be star 151, which is not drawn: the last
  // drawn star stays whole, and nothing is drawn after it.
  const std::string shown = starsOf({150.5, 1000}, kLimit + 1);
  EXPECT_EQ(shown.substr(static_cast<std::size_t>(kLimit - 1) * 3), "YY .. ");
  EXPECT_EQ(starsOf({3.0, 1000}, kLimit + 1).substr(static_cast<std::size_t>(kLimit - 1) * 3), "GG .. ");
}

}  // namespace
}  // namespace plexora::testing

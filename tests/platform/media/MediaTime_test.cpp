#include "platform/media/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace plexora::platform {
namespace {

TEST(MediaTimeTest, ComparesExactlyAcrossTimescales) {
  EXPECT_EQ(MediaTime::make(1, 3), MediaTime::make(10, 30));
  EXPECT_LT(MediaTime::make(1001, 60000), MediaTime::make(1, 59));
  // 2^62 / 3 and its neighbour, beyond what a double tells apart.
  const int64_t big = int64_t{1} << 62;
  EXPECT_LT(MediaTime::make(big, 3), MediaTime::make(big + 1, 3));
  EXPECT_GT(MediaTime::make(big + 1, 3), MediaTime::make(2 * (big / 2), 3));
  EXPECT_EQ(MediaTime::make(5, 0), MediaTime::invalid()) << "no timescale, no time";
}

TEST(MediaTimeTest, OrderOfTheNonNumericTimes) {
  const MediaTime ordered[] = {MediaTime::negativeInfinity(), MediaTime::make(-5, 1), MediaTime::make(7, 2),
                               MediaTime::positiveInfinity(), MediaTime::indefinite(), MediaTime::invalid()};
  for (size_t i = 0; i + 1 < std::size(ordered); ++i) {
    EXPECT_LT(ordered[i], ordered[i + 1]) << i;
    EXPECT_GT(ordered[i + 1], ordered[i]) << i;
  }
  EXPECT_EQ(MediaTime::invalid(), MediaTime::invalid());
  EXPECT_LT(MediaTime::makeWithEpoch(9, 1, 0), MediaTime::makeWithEpoch(1, 1, 1)) << "earlier epoch first";
}

TEST(MediaTimeTest, ArithmeticKeepsOrJoinsTimescales) {
  const MediaTime same = add(MediaTime::make(1, 600), MediaTime::make(2, 600));
  EXPECT_EQ(same.value, 3);
  EXPECT_EQ(same.timescale, 600);

  const MediaTime joined = subtract(MediaTime::make(1, 30), MediaTime::make(1001, 60000));
  EXPECT_EQ(joined.timescale, 60000);
  EXPECT_EQ(joined.value, 999);
  EXPECT_FALSE(joined.hasBeenRounded());

  // Two large coprime timescales: the larger one, rounded.
  const MediaTime rounded = add(MediaTime::make(1, 1'000'000'007), MediaTime::make(1, 999'999'937));
  EXPECT_EQ(rounded.timescale, 1'000'000'007);
  EXPECT_EQ(rounded.value, 2);
  EXPECT_TRUE(rounded.hasBeenRounded());

  const MediaTime overflow = add(MediaTime::make(std::numeric_limits<int64_t>::max(), 1), MediaTime::make(1, 1));
  EXPECT_TRUE(overflow.isPositiveInfinity());
}

TEST(MediaTimeTest, ArithmeticWithNonNumericTimes) {
  const MediaTime one = MediaTime::make(1, 1);
  struct Case {
    MediaTime result;
    MediaTime expected;
    const char* name;
  } cases[] = {
      {add(one, MediaTime::positiveInfinity()), MediaTime::positiveInfinity(), "x + inf"},
      {subtract(one, MediaTime::positiveInfinity()), MediaTime::negativeInfinity(), "x - inf"},
      {add(MediaTime::positiveInfinity(), MediaTime::negativeInfinity()), MediaTime::invalid(), "inf + -inf"},
      {subtract(MediaTime::positiveInfinity(), MediaTime::positiveInfinity()), MediaTime::invalid(), "inf - inf"},
      {add(one, MediaTime::indefinite()), MediaTime::indefinite(), "x + indefinite"},
      {add(MediaTime::indefinite(), MediaTime::invalid()), MediaTime::invalid(), "indefinite + invalid"},
      {add(one, MediaTime::makeWithEpoch(1, 1, 2)), MediaTime::invalid(), "different epochs"},
  };
  for (const auto& c : cases) EXPECT_EQ(compare(c.result, c.expected), 0) << c.name;
}

TEST(MediaTimeTest, SecondsAndRanges) {
  EXPECT_DOUBLE_EQ(MediaTime::make(1001, 30000).seconds(), 1001.0 / 30000.0);
  EXPECT_TRUE(std::isinf(MediaTime::negativeInfinity().seconds()));
  EXPECT_TRUE(std::isnan(MediaTime::indefinite().seconds()));

  const auto range = MediaTimeRange::fromStartToEnd(MediaTime::make(1, 2), MediaTime::make(3, 2));
  ASSERT_TRUE(range.isValid());
  EXPECT_TRUE(range.containsTime(MediaTime::make(500, 1000)));
  EXPECT_FALSE(range.containsTime(MediaTime::make(3, 2))) << "the end is outside";
  EXPECT_EQ(range.end(), MediaTime::make(15, 10));
  EXPECT_FALSE(MediaTimeRange::fromStartToEnd(MediaTime::make(2, 1), MediaTime::make(1, 1)).isValid());
  EXPECT_TRUE(MediaTimeRange::make(MediaTime::zero(), MediaTime::positiveInfinity()).isValid());
  EXPECT_TRUE(MediaTimeRange::make(MediaTime::zero(), MediaTime::zero()).isEmpty());
}

}  // namespace
}  // namespace plexora::platform

#include "platform/foundation/Dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/dispatch/Clock.h"

namespace plexora::platform {
namespace {

TEST(DatesTest, FormatsUTCWithStrftimeConversions) {
  struct Case {
    double time;
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, "%Y-%m-%d %H:%M:%S", "1970-01-01 00:00:00"},
      {kSecondsFrom1970To2001, "%Y-%m-%dT%H:%M:%S%z", "2001-01-01T00:00:00+0000"},
      {1700000000.999, "%H:%M:%S", "22:13:20"},     // floored, not rounded
      {-0.5, "%Y-%m-%d %H:%M:%S", "1969-12-31 23:59:59"},
      {86400.0 * 59, "%a %d %b %Y, day %j", "Sun 01 Mar 1970, day 060"},
      {0.0, "", ""},
      {0.0, "%p", "AM"},
      {0.0, "literal", "literal"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatUTC(c.time, c.format), c.expected) << c.format;
  }
}

TEST(DatesTest, FormatGrowsForLongOutput) {
  std::string format;
  for (int i = 0; i < 500; ++i) {
    format += "%Y";
  }
  const std::optional<std::string> text = formatUTC(0.0, format);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), 2000u);
}

TEST(DatesTest, ISO8601RoundsToTheMillisecond) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "1970-01-01T00:00:00.000Z"},
      {1.5, "1970-01-01T00:00:01.500Z"},
      {0.9996, "1970-01-01T00:00:01.000Z"},
      {-0.001, "1969-12-31T23:59:59.999Z"},
      {1700000000.123, "2023-11-14T22:13:20.123Z"},
      {kSecondsFrom1970To2001, "2001-01-01T00:00:00.000Z"},
  };
  for (const auto& [time, expected] : cases) {
    EXPECT_EQ(formatISO8601WithMilliseconds(time), expected) << time;
  }
}

TEST(DatesTest, TimesOutsideTheCalendarGiveNothing) {
  const double cases[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e300, -1e300, 253402300800.0};
  for (double time : cases) {
    EXPECT_FALSE(formatUTC(time, "%Y").has_value()) << time;
    EXPECT_FALSE(formatISO8601WithMilliseconds(time).has_value()) << time;
  }
  EXPECT_EQ(formatUTC(253402300799.0, "%Y-%m-%d"), "9999-12-31");
}

}  // namespace
}  // namespace plexora::platform

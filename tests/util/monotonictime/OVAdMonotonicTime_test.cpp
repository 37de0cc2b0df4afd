#include "util/monotonictime/OVAdMonotonicTime.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"

namespace plexora {
namespace {

TEST(OVAdMonotonicTimeTest, FollowsTheCurrentClock) {
  auto clock = std::make_shared<platform::ManualClock>(1.7e9, 1234.5);
  platform::ScopedClock scoped(clock);
  EXPECT_EQ(OVAdMonotonicTimeNanoseconds(), 1'234'500'000'000u);
  EXPECT_DOUBLE_EQ(OVAdMonotonicTimeSeconds(), 1234.5);
  clock->advance(0.25);
  EXPECT_DOUBLE_EQ(OVAdMonotonicTimeSeconds(), 1234.75);
}

TEST(OVAdMonotonicTimeTest, TheSystemClockNeverGoesBackwards) {
  const std::uint64_t first = OVAdMonotonicTimeNanoseconds();
  const std::uint64_t second = OVAdMonotonicTimeNanoseconds();
  EXPECT_GT(first, 0u);
  EXPECT_GE(second, first);
}

}  // namespace
}  // namespace plexora

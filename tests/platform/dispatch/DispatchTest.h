// A fixture for tests that use the process-wide queues: it settles them
// before and after each test, so work one test leaves behind never runs in
// the next.
#pragma once

#include <gtest/gtest.h>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform::testing {

// Long enough never to trip on a loaded machine; a healthy test never waits
// for it.
inline constexpr double kGenerousWaitSeconds = 10.0;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds)); }
  void TearDown() override { EXPECT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds)); }
};

}  // namespace plexora::platform::testing

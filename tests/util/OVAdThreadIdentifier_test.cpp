#include "util/OVAdThreadIdentifier.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "platform/thread/ThreadInfo.h"

namespace plexora {
namespace {

TEST(OVAdThreadIdentifierTest, TheMainThreadIsOne) {
  EXPECT_EQ(ov_threadIdentifier(), 1);
  EXPECT_EQ(ov_threadIdentifier(), 1);
}

TEST(OVAdThreadIdentifierTest, OtherThreadsShowTheirOwnNumber) {
  std::optional<std::int64_t> first;
  std::optional<std::int64_t> second;
  std::int64_t platformNumber = 0;
  std::thread worker([&] {
    first = ov_threadIdentifier();
    second = ov_threadIdentifier();
    platformNumber = platform::currentThreadNumber();
  });
  worker.join();
  EXPECT_EQ(first, platformNumber);
  EXPECT_EQ(second, platformNumber);
  EXPECT_GT(platformNumber, 1);
}

TEST(OVAdThreadIdentifierTest, NumbersReadFromDescriptions) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"<Thread: 0x6000>{number = 5, name = worker}", 5},
      {"<Thread: 0x6000>{number = 12, name = (null)}", 12},
      {"<Thread: 0x6000>{name = worker}", -1},
      {"", -1},
      {"<Thread: 0x6000>{number = abc, name = worker}", std::nullopt},
      {"<Thread: 0x6000>{number, name = worker}", std::nullopt},
  };
  for (const auto& [description, expected] : cases) {
    EXPECT_EQ(threadIdentifierFromDescription(description), expected) << description;
  }
}

}  // namespace
}  // namespace plexora

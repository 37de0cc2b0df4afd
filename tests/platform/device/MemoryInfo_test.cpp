#include "platform/device/MemoryInfo.h"

#include <gtest/gtest.h>

namespace plexora::platform {
namespace {

constexpr std::string_view kMemInfo =
    "MemTotal:       24682360 kB\n"
    "MemFree:        24089920 kB\n"
    "MemAvailable:   24291008 kB\n"
    "Buffers:           12345 kB\n"
    "HugePages_Total:       0\n";

TEST(MemoryInfoTest, ReadsTotalAndAvailableInBytes) {
  const SystemMemory memory = parseMemInfo(kMemInfo);
  EXPECT_EQ(memory.totalBytes, 24682360ull * 1024);
  EXPECT_EQ(memory.availableBytes, 24291008ull * 1024);
}

TEST(MemoryInfoTest, AFigureThatCannotBeReadWholeIsNone) {
  const struct {
    const char* name;
    std::string_view text;
    std::optional<std::uint64_t> total;
    std::optional<std::uint64_t> available;
  } cases[] = {
      {"empty", "", std::nullopt, std::nullopt},
      {"truncated inside the number", "MemTotal:       2468", std::nullopt, std::nullopt},
      {"truncated inside the unit", "MemTotal:       24682360 k", std::nullopt, std::nullopt},
      {"truncated before available", "MemTotal: 1 kB\nMemFree: 2 kB\nMemAvail", 1024, std::nullopt},
      {"no newline at the end", "MemTotal: 1 kB\nMemAvailable: 2 kB", 1024, 2048},
      {"garbage figure", "MemTotal: lots kB\nMemAvailable: 2 kB\n", std::nullopt, 2048},
      {"negative figure", "MemTotal: -1 kB\n", std::nullopt, std::nullopt},
      {"other unit", "MemTotal: 1 MB\n", std::nullopt, std::nullopt},
      {"trailing junk", "MemTotal: 1 kB extra\n", std::nullopt, std::nullopt},
      {"overflowing bytes", "MemTotal: 18446744073709551615 kB\n", std::nullopt, std::nullopt},
      {"overflowing digits", "MemTotal: 99999999999999999999999 kB\n", std::nullopt, std::nullopt},
      {"repeated key", "MemTotal: 1 kB\nMemTotal: 2 kB\n", std::nullopt, std::nullopt},
      {"key prefix only", "MemTotalish: 1 kB\n", std::nullopt, std::nullopt},
      {"binary noise", std::string_view("\0\xff:\n:::\n", 8), std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const SystemMemory memory = parseMemInfo(c.text);
    EXPECT_EQ(memory.totalBytes, c.total) << c.name;
    EXPECT_EQ(memory.availableBytes, c.available) << c.name;
  }
}

TEST(MemoryInfoTest, ProcessMemoryComesFromTheFirstTwoStatmFields) {
  const auto memory = parseProcessStatm("765 403 375 5 0 123 0\n", 4096);
  ASSERT_TRUE(memory);
  EXPECT_EQ(memory->virtualBytes, 765u * 4096);
  EXPECT_EQ(memory->residentBytes, 403u * 4096);
}

TEST(MemoryInfoTest, MalformedStatmGivesNone) {
  for (std::string_view text :
       {"", "765 403", "765 403 375 5 0 123", "765 403 375 5 0 123 0 9", "765  x 375 5 0 123 0",
        "765 403 375 5 0 123 0junk", "-765 403 375 5 0 123 0", "18446744073709551615 1 1 1 1 1 1"}) {
    EXPECT_FALSE(parseProcessStatm(text, 4096)) << text;
  }
}

}  // namespace
}  // namespace plexora::platform

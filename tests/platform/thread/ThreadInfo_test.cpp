#include "platform/thread/ThreadInfo.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace plexora::platform {
namespace {

const std::regex kDescriptionShape(R"(<Thread: 0x[0-9a-f]+>\{number = (\d+), name = (.*)\})");

TEST(ThreadInfoTest, MainThreadIsNumberOneNamedMain) {
  EXPECT_EQ(currentThreadNumber(), 1);
  std::smatch match;
  std::string description = currentThreadDescription();
  ASSERT_TRUE(std::regex_match(description, match, kDescriptionShape)) << description;
  EXPECT_EQ(match[1], "1");
  EXPECT_EQ(match[2], "main");
}

TEST(ThreadInfoTest, OtherThreadsGetStableDistinctNumbersFromTwo) {
  constexpr int kThreads = 6;
  std::vector<std::int64_t> numbers(kThreads);
  std::vector<bool> stable(kThreads);
  std::vector<std::string> descriptions(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      numbers[i] = currentThreadNumber();
      stable[i] = currentThreadNumber() == numbers[i];
      descriptions[i] = currentThreadDescription();
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  std::set<std::int64_t> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_GE(numbers[i], 2);
    EXPECT_TRUE(stable[i]);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(descriptions[i], match, kDescriptionShape)) << descriptions[i];
    EXPECT_EQ(match[1], std::to_string(numbers[i]));
    EXPECT_EQ(match[2], "(null)");
  }
}

TEST(ThreadInfoTest, NamingAThreadShowsInItsDescriptionAndInTheSystem) {
  std::string description;
  char systemName[32] = {};
  std::thread named([&] {
    setCurrentThreadName("plexora.a-rather-long-thread-name");
    description = currentThreadDescription();
    ::pthread_getname_np(::pthread_self(), systemName, sizeof systemName);
  });
  named.join();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(description, match, kDescriptionShape)) << description;
  EXPECT_EQ(match[2], "plexora.a-rather-long-thread-name");
  EXPECT_STREQ(systemName, "plexora.a-rathe");  // The kernel keeps 15 bytes.
}

}  // namespace
}  // namespace plexora::platform

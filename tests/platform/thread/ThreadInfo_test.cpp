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
  struct Seen {
    std::int64_t number = 0;
    std::int64_t askedAgain = 0;
    std::string description;
  };
  std::vector<Seen> seen(kThreads);  // One slot per thread.
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&seen, i] {
      seen[i].number = currentThreadNumber();
      seen[i].askedAgain = currentThreadNumber();
      seen[i].description = currentThreadDescription();
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  std::set<std::int64_t> distinct;
  for (const auto& one : seen) {
    distinct.insert(one.number);
    EXPECT_GE(one.number, 2);
    EXPECT_EQ(one.askedAgain, one.number);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(one.description, match, kDescriptionShape)) << one.description;
    EXPECT_EQ(match[1], std::to_string(one.number));
    EXPECT_EQ(match[2], "(null)");
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
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

#include "util/OVAdInstalledFunction.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace plexora {
namespace {

TEST(OVAdInstalledFunctionTest, WithoutAFunctionACallAnswersTheEmptyResult) {
  OVAdInstalledFunction<std::shared_ptr<std::string>(int)> maker;
  EXPECT_FALSE(maker.isInstalled());
  EXPECT_EQ(maker(3), nullptr);
  OVAdInstalledFunction<void(const std::string&)> service;
  service("nothing happens");
}

TEST(OVAdInstalledFunctionTest, AScopeInstallsAndPutsBackWhatItReplaced) {
  OVAdInstalledFunction<int(int, const std::string&)> function;
  function.install([](int n, const std::string& text) { return n + static_cast<int>(text.size()); });
  EXPECT_EQ(function(1, "ab"), 3);
  {
    OVAdScopedInstall<int(int, const std::string&)> scope(function, [](int n, const std::string&) { return -n; });
    EXPECT_EQ(function(1, "ab"), -1);
    {
      OVAdScopedInstall<int(int, const std::string&)> inner(function, nullptr);
      EXPECT_FALSE(function.isInstalled());
      EXPECT_EQ(function(1, "ab"), 0);
    }
    EXPECT_EQ(function(1, "ab"), -1);
  }
  EXPECT_EQ(function(1, "ab"), 3);
}

TEST(OVAdInstalledFunctionTest, AFunctionMayReplaceItselfWhileItRuns) {
  OVAdInstalledFunction<int()> function;
  function.install([&function] {
    function.install([] { return 2; });
    return 1;
  });
  EXPECT_EQ(function(), 1);
  EXPECT_EQ(function(), 2);
}

TEST(OVAdInstalledFunctionTest, CallsAndInstallsFromManyThreads) {
  OVAdInstalledFunction<int()> function;
  std::thread installer([&] {
    for (int i = 0; i < 1000; ++i) function.install([i] { return i; });
  });
  for (int i = 0; i < 1000; ++i) {
    const int answer = function();
    EXPECT_GE(answer, 0);
    EXPECT_LT(answer, 1000);
  }
  installer.join();
  EXPECT_EQ(function(), 999);
}

}  // namespace
}  // namespace plexora

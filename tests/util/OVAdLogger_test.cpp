#include "util/OVAdLogger.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/thread/ThreadInfo.h"
#include "plexora/OVAdSettings.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

class OVAdLoggerTest : public ::testing::Test {
 protected:
  testing::SettingsTestEnvironment environment_;
};

TEST_F(OVAdLoggerTest, ALineNamesFileLineThreadAndLevel) {
  OVAdSettings::setLogLevel(6);
  OVAdLogger::logAtLevel(2, "/build/src/server/OVAdProvider.mm", 57, "failed with %d", 7);
  OVAdLogger::logAtLevel(1, "OVAdProvider.mm", 57, "plain");
  EXPECT_EQ(environment_.lines(), (std::vector<std::string>{
                                      "[OVPlexoraLog/OVAdProvider:57 thread:1 <error>] failed with 7",
                                      "[OVPlexoraLog/OVAdProvider:57 thread:1] plain",
                                  }));
}

TEST_F(OVAdLoggerTest, TheConfiguredLevelGatesEachCall) {
  OVAdSettings::setLogLevel(3);
  for (std::int32_t level = 1; level <= 6; ++level) {
    OVAdLogger::logAtLevel(level, "File.cpp", level, "level %d", level);
  }
  EXPECT_EQ(environment_.lines(), (std::vector<std::string>{
                                      "[OVPlexoraLog/File:1 thread:1] level 1",
                                      "[OVPlexoraLog/File:2 thread:1 <error>] level 2",
                                      "[OVPlexoraLog/File:3 thread:1 <warn>] level 3",
                                  }));
}

TEST_F(OVAdLoggerTest, WithoutAConfiguredLevelNothingIsWritten) {
  for (std::int32_t level = 1; level <= 6; ++level) {
    OV_LOG(level, "never");
  }
  EXPECT_TRUE(environment_.lines().empty());
}

TEST_F(OVAdLoggerTest, TheMacroNamesTheCallersFileAndLine) {
  OVAdSettings::setLogLevel(4);
  const int line = __LINE__ + 1;
  OV_LOG(kOVAdLogLevelLog, "value %s", "x");
  EXPECT_EQ(environment_.lines(),
            std::vector<std::string>{"[OVPlexoraLog/OVAdLogger_test:" + std::to_string(line) + " thread:1 <log>] value x"});
}

TEST_F(OVAdLoggerTest, LinesFromAnotherThreadShowItsNumber) {
  OVAdSettings::setLogLevel(6);
  std::int64_t number = 0;
  std::thread worker([&number] {
    number = platform::currentThreadNumber();
    OVAdLogger::logAtLevel(5, "Worker.cpp", 9, "hello");
  });
  worker.join();
  EXPECT_EQ(environment_.lines(), std::vector<std::string>{"[OVPlexoraLog/Worker:9 thread:" +
                                                           std::to_string(number) + " <debug>] hello"});
}

TEST_F(OVAdLoggerTest, TestModeLinesIgnoreTheLevelButNeedATestDevice) {
  OVAdLogger::logInTestModeWithFile("Ad.cpp", 3, "only for %s", "testers");
  EXPECT_EQ(environment_.count("<testmode>"), 0U);

  OVAdSettings::addTestDevice(OVAdSettings::testDeviceHash());
  OVAdLogger::logInTestModeWithFile("Ad.cpp", 3, "only for %s", "testers");
  EXPECT_EQ(environment_.lines(),
            std::vector<std::string>{"[OVPlexoraLog/Ad:3 thread:1 <testmode>] only for testers"});
}

TEST_F(OVAdLoggerTest, NoTestModeLineOnAnotherDeviceEvenAtTheHighestLevel) {
  OVAdSettings::setLogLevel(6);
  OVAdSettings::addTestDevice("0123456789012345678901234567890123456789");
  OVAdLogger::logInTestModeWithFile("Ad.cpp", 3, "only for testers");
  EXPECT_EQ(environment_.count("<testmode>"), 0U);
}

TEST(OVAdLoggerLevelTagTest, EachLevelHasItsTag) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {-1, ""}, {0, ""}, {1, ""}, {2, " <error>"}, {3, " <warn>"}, {4, " <log>"}, {5, " <debug>"}, {6, " <verbose>"},
      {7, ""},
  };
  for (const auto& [level, tag] : cases) {
    EXPECT_EQ(OVAdLogger::levelAsString(level), tag) << level;
  }
}

TEST(OVAdLoggerFileNameTest, TheFileNameIsTheLastComponentWithoutExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"src/util/OVAdSettings.cpp", "OVAdSettings"},
      {"OVAdSettings.cpp", "OVAdSettings"},
      {"src/Makefile", "Makefile"},
      {"a/b.c.d", "b.c"},
      {"/x/.hidden", ".hidden"},
      {"", ""},
  };
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(OVAdLogger::fileNameForPath(path), name) << path;
  }
}

}  // namespace
}  // namespace plexora

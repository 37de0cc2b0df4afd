#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace plexora::platform {
namespace {

// Saves and restores the environment variables and overrides it touches.
class PathsTest : public ::testing::Test {
 protected:
  PathsTest() {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~PathsTest() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name, value->c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
    setCachesDirectory("");
    setUserDefaultsPath("");
    setApplicationName("");
  }

  static constexpr const char* kVariables[] = {"HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(PathsTest, DefaultsFollowTheXDGVariables) {
  setApplicationName("HostApp");
  ::setenv("XDG_CACHE_HOME", "/xdg/cache", 1);
  ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
  EXPECT_EQ(cachesDirectory(), "/xdg/cache/HostApp");
  EXPECT_EQ(userDefaultsPath(), "/xdg/config/HostApp/UserDefaults.plist");

  // Relative values do not count; the home directory takes over.
  ::setenv("HOME", "/home/someone", 1);
  ::setenv("XDG_CACHE_HOME", "relative", 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(cachesDirectory(), "/home/someone/.cache/HostApp");
  EXPECT_EQ(userDefaultsPath(), "/home/someone/.config/HostApp/UserDefaults.plist");
}

TEST_F(PathsTest, ApplicationNameDefaultsToTheProgram) {
  EXPECT_EQ(applicationName(), program_invocation_short_name);
  setApplicationName("Named");
  EXPECT_EQ(applicationName(), "Named");
  setApplicationName("");
  EXPECT_EQ(applicationName(), program_invocation_short_name);
}

TEST_F(PathsTest, OverridesWinUntilCleared) {
  ::setenv("XDG_CACHE_HOME", "/xdg/cache", 1);
  setApplicationName("HostApp");
  setCachesDirectory("/tmp/test-caches");
  setUserDefaultsPath("/tmp/test-defaults.plist");
  EXPECT_EQ(cachesDirectory(), "/tmp/test-caches");
  EXPECT_EQ(userDefaultsPath(), "/tmp/test-defaults.plist");

  setCachesDirectory("");
  EXPECT_EQ(cachesDirectory(), "/xdg/cache/HostApp");
}

}  // namespace
}  // namespace plexora::platform

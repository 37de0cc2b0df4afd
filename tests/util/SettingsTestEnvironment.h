// A fresh start of the process-wide settings for one test: user defaults in
// a file of their own, nothing loaded or registered yet, a known advertising
// identifier, and every library log line captured.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/DeviceProvider.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TempDir.h"
#include "util/OVAdSettingsInternal.h"

namespace plexora::testing {

inline constexpr const char* kTestAdvertisingIdentifier = "00000000-1111-2222-3333-444444444444";
// SHA-1 of kTestAdvertisingIdentifier.
inline constexpr const char* kTestDeviceHashOfIdentifier = "ac54dda1c8db9584dff4a320aad79fe7f769f6d0";

class SettingsTestEnvironment {
 public:
  SettingsTestEnvironment() : previousProfile_(platform::DeviceProvider::current()->profile()) {
    platform::DeviceProvider::current()->updateProfile(
        [](platform::DeviceProfile& profile) { profile.advertisingIdentifier = kTestAdvertisingIdentifier; });
    platform::setUserDefaultsPath(defaultsPath());
    platform::UserDefaults::resetStandardUserDefaults(defaultsPath());
    OVAdSettingsInternal::resetForTesting();
    platform::setLogSink([this](std::string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }

  ~SettingsTestEnvironment() {
    platform::setLogSink(nullptr);
    // Later tests start from empty defaults in a directory that never exists
    // (so nothing is written at exit); what this test left unsynchronised is
    // dropped.
    const std::string nowhere = (directory_ / "gone" / "UserDefaults.plist").string();
    platform::setUserDefaultsPath(nowhere);
    platform::UserDefaults::resetStandardUserDefaults(nowhere);
    OVAdSettingsInternal::resetForTesting();
    platform::DeviceProvider::current()->setProfile(previousProfile_);
  }

  SettingsTestEnvironment(const SettingsTestEnvironment&) = delete;
  SettingsTestEnvironment& operator=(const SettingsTestEnvironment&) = delete;

  std::string defaultsPath() const { return (directory_ / "UserDefaults.plist").string(); }
  std::shared_ptr<platform::UserDefaults> defaults() const { return platform::UserDefaults::standardUserDefaults(); }

  // Starts the process over: the settings forget what they loaded and the
  // user defaults are read back from their file.
  void relaunch() {
    OVAdSettingsInternal::resetForTesting();
    platform::UserDefaults::resetStandardUserDefaults(defaultsPath());
  }

  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // How many captured lines hold `text`.
  std::size_t count(std::string_view text) const {
    std::lock_guard lock(mutex_);
    std::size_t matches = 0;
    for (const std::string& line : lines_) {
      matches += line.find(text) != std::string::npos ? 1 : 0;
    }
    return matches;
  }
  void clearLines() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  TempDir directory_;
  platform::DeviceProfile previousProfile_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace plexora::testing

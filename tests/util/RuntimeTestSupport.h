// Helpers for the runtime utilities' tests: a capture of the library's log
// lines at log level 6 (with user defaults in a directory of their own), and
// a fixture that settles the dispatch queues around each test so work one
// test leaves behind never runs in the next.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "plexora/OVAdSettings.h"
#include "support/TempDir.h"
#include "util/OVAdSettingsInternal.h"

namespace plexora::testing {

inline constexpr double kSettleSeconds = 10.0;

class RuntimeLogCapture {
 public:
  RuntimeLogCapture() {
    platform::setUserDefaultsPath((directory_ / "UserDefaults.plist").string());
    platform::UserDefaults::resetStandardUserDefaults();
    OVAdSettingsInternal::resetForTesting();
    OVAdSettings::setLogLevel(6);
    platform::setLogSink([this](std::string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~RuntimeLogCapture() {
    platform::setLogSink(nullptr);
    platform::setUserDefaultsPath("");
    platform::UserDefaults::resetStandardUserDefaults();
    OVAdSettingsInternal::resetForTesting();
  }
  RuntimeLogCapture(const RuntimeLogCapture&) = delete;
  RuntimeLogCapture& operator=(const RuntimeLogCapture&) = delete;

  // How many lines hold `text`.
  std::size_t count(std::string_view text) const {
    std::lock_guard lock(mutex_);
    std::size_t matches = 0;
    for (const std::string& line : lines_) {
      matches += line.find(text) != std::string::npos ? 1 : 0;
    }
    return matches;
  }
  // Whether a line holds `text`.
  bool contains(std::string_view text) const { return count(text) > 0; }

  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  TempDir directory_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

class SettledQueuesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::DispatchQueue::settle(kSettleSeconds)); }
  void TearDown() override { EXPECT_TRUE(platform::DispatchQueue::settle(kSettleSeconds)); }
};

}  // namespace plexora::testing

// A fixture for the UI model's tests: a manual clock, a portrait phone
// screen (375 x 667 points, scale 2) through a device provider of the
// test's own, and the application back at launch state around each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/device/DeviceProvider.h"
#include "platform/device/LinuxDeviceProvider.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchTest.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace plexora::platform::testing {

inline DeviceProfile portraitPhoneProfile() {
  DeviceProfile profile;
  profile.screen.bounds = ScreenSize{375.0, 667.0};
  profile.screen.scale = 2.0;
  profile.orientation = InterfaceOrientation::Portrait;
  return profile;
}

class UITest : public DispatchTest {
 protected:
  void SetUp() override {
    DispatchTest::SetUp();
    Application::shared()->reset();
  }
  void TearDown() override {
    Application::shared()->reset();
    DispatchTest::TearDown();
  }

  // Runs what is queued on the main queue (and what that queues in turn).
  static void runMainQueue() { ASSERT_TRUE(DispatchQueue::settle(kGenerousWaitSeconds)); }

  // A visible key window filling the screen.
  static std::shared_ptr<Window> makeKeyWindow() {
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    return window;
  }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClock scopedClock_{clock_};
  ScopedDeviceProvider scopedDevice_{std::make_shared<LinuxDeviceProvider>(portraitPhoneProfile())};
};

}  // namespace plexora::platform::testing

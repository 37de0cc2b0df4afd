// Known facts for everything the request parameters and the bidder token
// read: a device profile, fresh settings, the application's bundle and
// orientations, a manual clock, a fixed session, a fixed adapter list, a
// motion provider that only counts requests, and an empty client-event list.
// Everything is put back when the environment goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device/DeviceProvider.h"
#include "platform/device/Motion.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/MainBundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/InterfaceOrientation.h"
#include "server/OVAdEnvironmentData.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdDevice.h"
#include "util/OVAdDeviceState.h"
#include "util/OVAdScreen.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora::testing {

inline constexpr const char* kTestSessionId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
inline constexpr double kTestSessionTime = 12.5;
inline constexpr double kTestWallTime = 1700000000.25;

inline platform::DeviceProfile environmentDeviceProfile() {
  platform::DeviceProfile profile = testDeviceProfile();
  profile.screen.bounds = {375.0, 667.0};
  profile.screen.scale = 2.0;
  profile.orientation = platform::InterfaceOrientation::Portrait;
  profile.localeIdentifier = "de_CH";
  profile.outputVolume = 0.25;
  profile.advertisingTrackingEnabled = true;
  return profile;
}

// Counts reading requests and never answers them.
class CountingMotionProvider final : public platform::MotionProvider {
 public:
  void requestReading(platform::MotionSensor, std::shared_ptr<platform::OperationQueue>,
                      platform::MotionHandler) override {
    ++requests;
  }
  std::atomic<int> requests{0};
};

class EnvironmentDataTestEnvironment {
 public:
  EnvironmentDataTestEnvironment()
      : previousBundle_(platform::mainBundleInfo()),
        previousOrientations_(platform::Application::shared()->supportedInterfaceOrientationsForWindow(nullptr)) {
    platform::setMainBundleInfo({"com.example.game", "2.1", "210"});
    platform::Application::shared()->setSupportedInterfaceOrientations(platform::kInterfaceOrientationMaskPortrait);
    previousSession_ = OVAdEnvironmentData::installSessionSource([] {
      return OVAdSessionFacts{kTestSessionId, kTestSessionTime};
    });
    previousAdapters_ = OVAdEnvironmentData::installAdapterSource([this](OVAdPlacementType type) {
      std::lock_guard lock(mutex_);
      adapterTypesAsked_.push_back(type);
      return adapters_;
    });
    forgetKeptFacts();
  }

  ~EnvironmentDataTestEnvironment() {
    OVAdEnvironmentData::installAdapterSource(std::move(previousAdapters_));
    OVAdEnvironmentData::installSessionSource(std::move(previousSession_));
    platform::Application::shared()->setSupportedInterfaceOrientations(previousOrientations_);
    platform::setMainBundleInfo(previousBundle_);
    OVAdClientEventManager::dumpClientEventsToJson();
    forgetKeptFacts();
  }

  EnvironmentDataTestEnvironment(const EnvironmentDataTestEnvironment&) = delete;
  EnvironmentDataTestEnvironment& operator=(const EnvironmentDataTestEnvironment&) = delete;

  void updateProfile(const std::function<void(platform::DeviceProfile&)>& change) {
    device_->updateProfile(change);
    forgetKeptFacts();
  }
  void setAdapters(std::vector<std::string> adapters) {
    std::lock_guard lock(mutex_);
    adapters_ = std::move(adapters);
  }
  std::vector<OVAdPlacementType> adapterTypesAsked() const {
    std::lock_guard lock(mutex_);
    return adapterTypesAsked_;
  }
  int motionRequests() const { return motion_->requests.load(); }
  platform::ManualClock& clock() { return *clock_; }
  SettingsTestEnvironment& settings() { return settings_; }

 private:
  static void forgetKeptFacts() {
    OVAdDevice::resetCache();
    OVAdScreen::recomputeCachedState();
    OVAdResetMotionSampleForTesting();
    OVAdClientEventManager::dumpClientEventsToJson();
  }

  std::shared_ptr<FakeDeviceProvider> device_ = std::make_shared<FakeDeviceProvider>(environmentDeviceProfile());
  platform::ScopedDeviceProvider scopedDevice_{device_};
  SettingsTestEnvironment settings_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>(kTestWallTime);
  platform::ScopedClock scopedClock_{clock_};
  std::shared_ptr<CountingMotionProvider> motion_ = std::make_shared<CountingMotionProvider>();
  platform::ScopedMotionProvider scopedMotion_{motion_};
  platform::MainBundleInfo previousBundle_;
  platform::InterfaceOrientationMask previousOrientations_;
  OVAdEnvironmentData::SessionSource previousSession_;
  OVAdEnvironmentData::AdapterSource previousAdapters_;
  mutable std::mutex mutex_;
  std::vector<std::string> adapters_{"PX", "ADMOB"};
  std::vector<OVAdPlacementType> adapterTypesAsked_;
};

}  // namespace plexora::testing

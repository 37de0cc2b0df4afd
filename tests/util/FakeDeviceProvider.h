// A device provider whose every figure a test sets, and which counts how
// often the live figures were read. Install it with ScopedDeviceProvider.
#pragma once

#include <mutex>

#include "platform/device/DeviceProvider.h"
#include "platform/device/NetworkReachability.h"

namespace plexora::testing {

// A fixed, known device: a machine of the "x86" family on system 10.3.
inline platform::DeviceProfile testDeviceProfile() {
  platform::DeviceProfile profile;
  profile.machine = "x86_64";
  profile.hardwareModel = "TestModel";
  profile.systemBuild = "14E304";
  profile.systemVersion = "10.3";
  profile.advertisingIdentifier = "00000000-1111-2222-3333-444444444444";
  profile.reachabilityFlags = platform::kReachabilityFlagReachable;
  return profile;
}

class FakeDeviceProvider final : public platform::DeviceProvider {
 public:
  explicit FakeDeviceProvider(platform::DeviceProfile profile = testDeviceProfile())
      : DeviceProvider(std::move(profile)) {}

  void setCoreCount(std::optional<std::uint32_t> count) {
    std::lock_guard lock(mutex_);
    coreCount_ = count;
  }
  void setSystemMemory(platform::SystemMemory memory) {
    std::lock_guard lock(mutex_);
    systemMemory_ = memory;
  }
  void setProcessMemory(std::optional<platform::ProcessMemory> memory) {
    std::lock_guard lock(mutex_);
    processMemory_ = memory;
  }
  void setDiskSpace(std::optional<platform::DiskSpace> space) {
    std::lock_guard lock(mutex_);
    diskSpace_ = space;
  }
  void setBatteryReading(platform::BatteryReading reading) {
    std::lock_guard lock(mutex_);
    battery_ = reading;
  }

  int coreCountReads() const { return counted(coreCountReads_); }
  int batteryReads() const { return counted(batteryReads_); }

  std::optional<std::uint32_t> availableCoreCount() const override {
    std::lock_guard lock(mutex_);
    ++coreCountReads_;
    return coreCount_;
  }
  platform::SystemMemory systemMemory() const override {
    std::lock_guard lock(mutex_);
    return systemMemory_;
  }
  std::optional<platform::ProcessMemory> processMemory() const override {
    std::lock_guard lock(mutex_);
    return processMemory_;
  }
  std::optional<platform::DiskSpace> diskSpace() const override {
    std::lock_guard lock(mutex_);
    return diskSpace_;
  }

 protected:
  platform::BatteryReading readBattery() const override {
    std::lock_guard lock(mutex_);
    ++batteryReads_;
    return battery_;
  }

 private:
  int counted(const int& counter) const {
    std::lock_guard lock(mutex_);
    return counter;
  }

  mutable std::mutex mutex_;
  std::optional<std::uint32_t> coreCount_ = 4;
  platform::SystemMemory systemMemory_{8ull << 30, 2ull << 30};
  std::optional<platform::ProcessMemory> processMemory_ = platform::ProcessMemory{64ull << 20, 512ull << 20};
  std::optional<platform::DiskSpace> diskSpace_ = platform::DiskSpace{10ull << 30, 100ull << 30};
  platform::BatteryReading battery_{platform::BatteryState::Unplugged, 0.5};
  mutable int coreCountReads_ = 0;
  mutable int batteryReads_ = 0;
};

}  // namespace plexora::testing

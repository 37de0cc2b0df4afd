// The process-wide source of device facts: the host's profile (see
// DeviceProfile.h), the battery with its monitoring switch, and the live
// figures of processors, memory and disk.
//
// The process starts with a provider that reads the running Linux system;
// the host may change its profile, and a test installs a provider of its
// own for the life of a scope (ScopedDeviceProvider) to drive every figure.
//
// The host sets the advertising identifier and its tracking flag (and any
// other fact of the profile) through the current provider:
//
//   platform::DeviceProvider::current()->updateProfile([](platform::DeviceProfile& profile) {
//     profile.advertisingIdentifier = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
//     profile.advertisingTrackingEnabled = false;
//   });
//
// Thread safety: every member may be called from any thread.
// Ownership: the process holds the current provider in a shared_ptr; callers
// keep the pointer they got for as long as they use it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Export.h"
#include "platform/device/Battery.h"
#include "platform/device/DeviceProfile.h"
#include "platform/device/MemoryInfo.h"

namespace plexora::platform {

struct DiskSpace {
  std::uint64_t freeBytes = 0;
  std::uint64_t totalBytes = 0;
};

class PLEXORA_EXPORT DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  DeviceProvider(const DeviceProvider&) = delete;
  DeviceProvider& operator=(const DeviceProvider&) = delete;

  // The provider in force (the system's own unless replaced).
  static std::shared_ptr<DeviceProvider> current();
  // Installs `provider`; null restores the process's own Linux provider.
  static void setCurrent(std::shared_ptr<DeviceProvider> provider);

  DeviceProfile profile() const;
  void setProfile(DeviceProfile profile);
  // Changes some fields in place, atomically with respect to other callers.
  void updateProfile(const std::function<void(DeviceProfile&)>& change);

  // Battery monitoring starts off. While it is off the battery reads as
  // Unknown with level -1.0, as a device that is not watching its battery.
  bool isBatteryMonitoringEnabled() const;
  void setBatteryMonitoringEnabled(bool enabled);
  BatteryReading battery() const;

  // Processors available to the process; none when the system cannot tell.
  virtual std::optional<std::uint32_t> availableCoreCount() const = 0;
  virtual SystemMemory systemMemory() const = 0;
  virtual std::optional<ProcessMemory> processMemory() const = 0;
  // The file system that holds the library's files.
  virtual std::optional<DiskSpace> diskSpace() const = 0;

 protected:
  explicit DeviceProvider(DeviceProfile profile);

  // The battery as it is now, whatever the monitoring switch says.
  virtual BatteryReading readBattery() const = 0;

 private:
  mutable std::mutex mutex_;
  DeviceProfile profile_;
  bool batteryMonitoringEnabled_ = false;
};

// Installs a provider for the life of the scope and restores the previous
// one.
class PLEXORA_EXPORT ScopedDeviceProvider {
 public:
  explicit ScopedDeviceProvider(std::shared_ptr<DeviceProvider> provider);
  ~ScopedDeviceProvider();
  ScopedDeviceProvider(const ScopedDeviceProvider&) = delete;
  ScopedDeviceProvider& operator=(const ScopedDeviceProvider&) = delete;

 private:
  std::shared_ptr<DeviceProvider> previous_;
};

}  // namespace plexora::platform

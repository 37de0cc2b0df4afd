// Device facts read from a running Linux system: processors from sysconf,
// memory from /proc/meminfo and /proc/self/statm, disk space from statvfs of
// the caches directory (or "/" while that does not exist), the battery from
// the power-supply class in sysfs.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <string>

#include "platform/device/DeviceProvider.h"

namespace plexora::platform {

// Where the provider reads; tests point it at fixture trees.
struct LinuxDeviceSources {
  std::string procDirectory = "/proc";
  std::string powerSupplyDirectory = "/sys/class/power_supply";
  // Empty: the caches directory of the moment (platform/foundation/Paths.h).
  std::string diskPath;
};

class LinuxDeviceProvider final : public DeviceProvider {
 public:
  explicit LinuxDeviceProvider(DeviceProfile profile = DeviceProfile::fromSystem(), LinuxDeviceSources sources = {});

  std::optional<std::uint32_t> availableCoreCount() const override;
  SystemMemory systemMemory() const override;
  std::optional<ProcessMemory> processMemory() const override;
  std::optional<DiskSpace> diskSpace() const override;

 protected:
  BatteryReading readBattery() const override;

 private:
  const LinuxDeviceSources sources_;
};

}  // namespace plexora::platform

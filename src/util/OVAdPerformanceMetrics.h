// Processor, memory, disk and battery figures of the device and this
// process, read fresh at each call from the platform's device provider.
// Each figure is 0 when the system cannot report it.
//
// Thread safety: every operation may be called from any thread; batteryInfo
// reads the battery only on the main thread.
#pragma once

#include <cstdint>

namespace plexora {

struct OVAdDeviceBatteryInfo {
  // The battery state number: 0 unknown, 1 unplugged, 2 charging, 3 full.
  std::int64_t batteryState = 0;
  // 0.0 to 1.0; -1.0 when unknown.
  double batteryLevel = -1.0;
};

struct OVAdDiskBytes {
  std::uint64_t freeBytes = 0;
  std::uint64_t totalBytes = 0;
};

class OVAdPerformanceMetrics final {
 public:
  OVAdPerformanceMetrics() = delete;

  // Processors available to the process.
  static std::uint32_t coreCount();
  // Off the main thread: state 0 and level -1.0, and the battery monitoring
  // switch is left alone. On the main thread the battery is read with
  // monitoring on, and the switch is then put back as it was.
  static OVAdDeviceBatteryInfo batteryInfo();
  // Memory the system can give to applications now.
  static std::uint64_t freeMemoryBytes();
  static std::uint64_t totalMemoryBytes();
  static std::uint64_t residentMemoryBytes();
  static std::uint64_t virtualMemoryBytes();
  // The file system that holds the library's files.
  static OVAdDiskBytes freeAndTotalDiskBytes();
  static std::uint64_t freeDiskBytes();
};

}  // namespace plexora

// Facts about the device's hardware and system, answered from the platform's
// device provider and kept where they cannot change while the process runs.
//
// Kept values live under one process-wide recursive lock, so any thread may
// ask; the lock is recursive because the operations call each other (the
// fill-rate tier asks the model code, which asks the machine identifier).
// Battery, memory and disk figures are read again once their interval has
// passed (180 s; 60 s for free memory) on the monotonic clock, and only a
// reading taken on the main thread is kept for that long: a reading taken
// elsewhere is read again at the next call.
//
// Thread safety: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "util/OVAdPerformanceMetrics.h"

namespace plexora {

class OVAdDevice final {
 public:
  OVAdDevice() = delete;

  // Reads the pad flag and the system version so both are kept.
  static void initializeAndCacheValues();
  // Forgets every kept value and reading, so the next call asks the system.
  static void resetCache();

  // The hardware machine identifier (e.g. "x86_64"), with spaces, "/" and NUL
  // characters removed; none when the system cannot report it.
  static std::optional<std::string> machine();
  static std::optional<std::string> machineName();
  static std::optional<std::string> architecture();
  // The hardware model, cleaned the same way.
  static std::optional<std::string> model();
  // The device model code of the machine identifier (deviceModelForMachine).
  static std::int64_t deviceModel();
  static std::string systemName();
  // The device has the pad idiom and the application declares the pad family
  // among its device families (the number 2, or the string "2", alone or in
  // an array).
  static bool isPad();
  static std::uint32_t coreCount();
  // Read at each call.
  static std::uint64_t freeDiskSpace();
  // The fill-rate tier of the device model code (fillRateForDeviceModel).
  static std::int64_t adjustedFillRate();
  static OVAdDeviceBatteryInfo deviceBatteryInfo();
  static std::uint64_t freeMemoryBytes();
  static std::uint64_t totalMemoryBytes();
  static std::uint64_t freeDiskBytes();
  // Model codes 3, 4, 5, 103 and 201.
  static bool isSlowerDevice();
  // A phone-only application on a tablet: the device's model name begins
  // with "iPad" while isPad is false.
  static bool isRunningOnPadInPhoneEmulator();
  static std::string systemVersion();
  // The system's build, cleaned like the machine identifier; read at each
  // call.
  static std::optional<std::string> systemBuildNumber();

  // Whether the system version is at least `version` (dotted decimal, e.g.
  // "8.0"); false without a version. Components are compared as numbers from
  // the first, the shorter list padded with zeros. Throws platform::Exception
  // named "NSInvalidArgumentException" when a component of `version` is empty
  // or holds anything but decimal digits.
  static bool systemVersionIsGreaterThanOrEqualTo(const std::optional<std::string>& version);
  static bool systemVersionIsLessThan(const std::optional<std::string>& version);
  static bool systemVersionIsGreaterThanOrEqualToiOS8();
  static bool systemVersionIsGreaterThanOrEqualToiOS9();

  // The model code of a machine identifier: the family name and number before
  // the "," must match a known family exactly ("iPad11,1" is no "iPad1"); the
  // number after it picks the variant; 999 for anything unknown.
  static std::int64_t deviceModelForMachine(const std::optional<std::string>& machine);
  // Tier 0 (lowest) to 4 (unknown devices).
  static std::int64_t fillRateForDeviceModel(std::int64_t deviceModel);
};

}  // namespace plexora

#include "util/OVAdDevice.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "util/monotonictime/OVAdMonotonicTime.h"

namespace plexora {
namespace {

// ---- Kept values ----

constexpr std::int64_t kUnknownInteger = -1;
constexpr std::uint32_t kUnknownCoreCount = std::numeric_limits<std::uint32_t>::max();

constexpr double kBatteryRefreshInterval = 180.0;
constexpr double kFreeMemoryRefreshInterval = 60.0;
constexpr double kTotalMemoryRefreshInterval = 180.0;
constexpr double kFreeDiskRefreshInterval = 180.0;

// A reading with the time it was taken; a time of 0.0 means "read at the next
// call".
template <typename T>
struct Reading {
  T value;
  double refreshTime = 0.0;
};

struct DeviceCache {
  std::optional<std::string> machine;
  std::optional<std::string> model;
  std::optional<std::string> systemName;
  std::optional<std::string> systemVersion;
  std::int64_t deviceModel = kUnknownInteger;
  std::int64_t fillRateTier = kUnknownInteger;
  std::int64_t padFlag = kUnknownInteger;
  std::int64_t slowerDeviceFlag = kUnknownInteger;
  std::uint32_t coreCount = kUnknownCoreCount;
  Reading<OVAdDeviceBatteryInfo> battery{OVAdDeviceBatteryInfo{0, -1.0}};
  Reading<std::uint64_t> freeMemory{0};
  Reading<std::uint64_t> totalMemory{0};
  Reading<std::uint64_t> freeDisk{0};
};

std::recursive_mutex& OVAdDeviceLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Guarded by OVAdDeviceLock.
DeviceCache& cache() {
  static DeviceCache deviceCache;
  return deviceCache;
}

platform::DeviceProfile currentProfile() { return platform::DeviceProvider::current()->profile(); }

// Reads again when the interval has passed since the kept reading (or when
// there is none). Off the main thread the new reading is not kept for the
// interval: the next call reads again.
template <typename T, typename Read>
T refreshed(Reading<T>& reading, double now, double interval, Read read) {
  if (reading.refreshTime == 0.0 || now - reading.refreshTime > interval) {
    reading.value = read();
    reading.refreshTime = platform::DispatchQueue::isMainThread() ? now : 0.0;
  }
  return reading.value;
}

double mediaTime() { return platform::Clock::current()->monotonicTime(); }

// ---- System control strings ----

constexpr std::size_t kMachineBufferSize = 32;
constexpr std::size_t kBuildBufferSize = 16;

// The system's text as a fixed buffer would hold it: cut to the buffer's size;
// none for a value that is no ASCII text.
std::optional<std::string> OVAdSysctlString(const std::optional<std::string>& value,
                                            std::size_t bufferSize = std::numeric_limits<std::size_t>::max()) {
  if (!value) return std::nullopt;
  std::string text = value->substr(0, bufferSize);
  if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; })) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> OVAdSanitizeSysctlString(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  std::erase_if(*text, [](char c) { return c == ' ' || c == '/' || c == '\0'; });
  return text;
}

// ---- Model codes ----

constexpr std::int64_t kUnknownDeviceModel = 999;
constexpr std::int64_t kNoMinorNumber = 999;

struct ModelFamily {
  std::string_view prefix;
  // The code for a minor number.
  std::int64_t (*code)(std::int64_t minor);
};

constexpr std::array<ModelFamily, 15> kModelFamilies{{
    {"iPhone2", [](std::int64_t) -> std::int64_t { return 3; }},
    {"iPhone3", [](std::int64_t) -> std::int64_t { return 4; }},
    {"iPhone4", [](std::int64_t) -> std::int64_t { return 5; }},
    {"iPhone5", [](std::int64_t) -> std::int64_t { return 6; }},
    {"iPhone6", [](std::int64_t) -> std::int64_t { return 7; }},
    {"iPhone7", [](std::int64_t minor) -> std::int64_t { return minor < 2 ? 9 : 8; }},
    {"iPod3", [](std::int64_t) -> std::int64_t { return 103; }},
    {"iPod4", [](std::int64_t) -> std::int64_t { return 104; }},
    {"iPod5", [](std::int64_t) -> std::int64_t { return 105; }},
    {"iPad1", [](std::int64_t) -> std::int64_t { return 201; }},
    {"iPad2", [](std::int64_t minor) -> std::int64_t { return minor > 4 ? 207 : 202; }},
    {"iPad3", [](std::int64_t minor) -> std::int64_t { return minor < 4 ? 203 : 204; }},
    {"iPad4", [](std::int64_t minor) -> std::int64_t { return minor > 3 ? 208 : 205; }},
    {"iPad5", [](std::int64_t) -> std::int64_t { return 206; }},
    {"x86", [](std::int64_t) -> std::int64_t { return 900; }},
}};

constexpr std::array<std::int64_t, 5> kSlowerDeviceModels{3, 4, 5, 103, 201};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The integer at the start of a text the way a string's integer value reads
// it: leading white space, an optional sign, digits; 0 when there are none,
// the nearest limit when the number does not fit.
std::int64_t leadingIntegerValue(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n')) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t value = 0;
  for (char c : text) {
    if (!isDigit(c)) break;
    const int digit = c - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
      return negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

// A family prefix matches only when the machine's family number ends where
// the prefix does: "iPad1" matches "iPad1,3" but not "iPad11,1".
bool belongsToFamily(std::string_view machine, std::string_view prefix) {
  return machine.starts_with(prefix) && (machine.size() == prefix.size() || !isDigit(machine[prefix.size()]));
}

// ---- Version comparison ----

constexpr const char* kEmptyVersionComponentReason = "Invalid version number";
constexpr const char* kNonNumericVersionComponentReason = "Invalid version number.";
constexpr const char* kVersion8 = "8.0";
constexpr const char* kVersion9 = "9.0";

std::vector<std::string_view> componentsOf(std::string_view version) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = version.find('.', start);
    components.push_back(version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) return components;
    start = dot + 1;
  }
}

std::vector<std::int64_t> versionNumbers(const std::vector<std::string_view>& components) {
  std::vector<std::int64_t> numbers;
  numbers.reserve(components.size());
  for (std::string_view component : components)
    numbers.push_back(std::max<std::int64_t>(leadingIntegerValue(component), 0));
  return numbers;
}

// ---- Pad family ----

bool declaresPadFamily(const platform::Value& deviceFamilies) {
  constexpr double kPadFamily = 2.0;
  constexpr std::string_view kPadFamilyText = "2";
  const auto isPadFamily = [&](const platform::Value& value) {
    if (value.isString()) return value.asString() == kPadFamilyText;
    return (value.isInteger() || value.isDouble()) && value.toDouble() == kPadFamily;
  };
  if (deviceFamilies.isArray()) {
    const platform::Array& families = deviceFamilies.asArray();
    return std::any_of(families.begin(), families.end(), isPadFamily);
  }
  return isPadFamily(deviceFamilies);
}

}  // namespace

void OVAdDevice::initializeAndCacheValues() {
  isPad();
  systemVersion();
}

void OVAdDevice::resetCache() {
  std::lock_guard lock(OVAdDeviceLock());
  cache() = DeviceCache{};
}

std::optional<std::string> OVAdDevice::machine() {
  std::lock_guard lock(OVAdDeviceLock());
  if (!cache().machine) {
    cache().machine = OVAdSanitizeSysctlString(OVAdSysctlString(currentProfile().machine, kMachineBufferSize));
  }
  return cache().machine;
}

std::optional<std::string> OVAdDevice::machineName() { return machine(); }

std::optional<std::string> OVAdDevice::architecture() { return machine(); }

std::optional<std::string> OVAdDevice::model() {
  std::lock_guard lock(OVAdDeviceLock());
  if (!cache().model) cache().model = OVAdSanitizeSysctlString(OVAdSysctlString(currentProfile().hardwareModel));
  return cache().model;
}

std::int64_t OVAdDevice::deviceModel() {
  std::lock_guard lock(OVAdDeviceLock());
  if (cache().deviceModel == kUnknownInteger) cache().deviceModel = deviceModelForMachine(machine());
  return cache().deviceModel;
}

std::string OVAdDevice::systemName() {
  std::lock_guard lock(OVAdDeviceLock());
  if (!cache().systemName) cache().systemName = currentProfile().systemName;
  return *cache().systemName;
}

bool OVAdDevice::isPad() {
  std::lock_guard lock(OVAdDeviceLock());
  if (cache().padFlag == kUnknownInteger) {
    const platform::DeviceProfile profile = currentProfile();
    const bool pad =
        profile.idiom == platform::UserInterfaceIdiom::Pad && declaresPadFamily(profile.applicationDeviceFamilies);
    cache().padFlag = pad ? 1 : 0;
  }
  return cache().padFlag == 1;
}

std::uint32_t OVAdDevice::coreCount() {
  std::lock_guard lock(OVAdDeviceLock());
  if (cache().coreCount == kUnknownCoreCount) cache().coreCount = OVAdPerformanceMetrics::coreCount();
  return cache().coreCount;
}

std::uint64_t OVAdDevice::freeDiskSpace() { return OVAdPerformanceMetrics::freeDiskBytes(); }

std::int64_t OVAdDevice::adjustedFillRate() {
  std::lock_guard lock(OVAdDeviceLock());
  if (cache().fillRateTier == kUnknownInteger) cache().fillRateTier = fillRateForDeviceModel(deviceModel());
  return cache().fillRateTier;
}

OVAdDeviceBatteryInfo OVAdDevice::deviceBatteryInfo() {
  std::lock_guard lock(OVAdDeviceLock());
  return refreshed(cache().battery, OVAdMonotonicTimeSeconds(), kBatteryRefreshInterval,
                   [] { return OVAdPerformanceMetrics::batteryInfo(); });
}

std::uint64_t OVAdDevice::freeMemoryBytes() {
  std::lock_guard lock(OVAdDeviceLock());
  return refreshed(cache().freeMemory, mediaTime(), kFreeMemoryRefreshInterval,
                   [] { return OVAdPerformanceMetrics::freeMemoryBytes(); });
}

std::uint64_t OVAdDevice::totalMemoryBytes() {
  std::lock_guard lock(OVAdDeviceLock());
  return refreshed(cache().totalMemory, mediaTime(), kTotalMemoryRefreshInterval,
                   [] { return OVAdPerformanceMetrics::totalMemoryBytes(); });
}

std::uint64_t OVAdDevice::freeDiskBytes() {
  std::lock_guard lock(OVAdDeviceLock());
  return refreshed(cache().freeDisk, mediaTime(), kFreeDiskRefreshInterval,
                   [] { return OVAdPerformanceMetrics::freeDiskBytes(); });
}

bool OVAdDevice::isSlowerDevice() {
  std::lock_guard lock(OVAdDeviceLock());
  if (cache().slowerDeviceFlag == kUnknownInteger) {
    const std::int64_t code = deviceModel();
    const bool slower =
        std::find(kSlowerDeviceModels.begin(), kSlowerDeviceModels.end(), code) != kSlowerDeviceModels.end();
    cache().slowerDeviceFlag = slower ? 1 : 0;
  }
  return cache().slowerDeviceFlag == 1;
}

bool OVAdDevice::isRunningOnPadInPhoneEmulator() {
  static constexpr std::string_view kPadModelPrefix = "iPad";
  return currentProfile().modelName.starts_with(kPadModelPrefix) && !isPad();
}

std::string OVAdDevice::systemVersion() {
  std::lock_guard lock(OVAdDeviceLock());
  if (!cache().systemVersion) cache().systemVersion = currentProfile().systemVersion;
  return *cache().systemVersion;
}

std::optional<std::string> OVAdDevice::systemBuildNumber() {
  return OVAdSanitizeSysctlString(OVAdSysctlString(currentProfile().systemBuild, kBuildBufferSize));
}

bool OVAdDevice::systemVersionIsGreaterThanOrEqualTo(const std::optional<std::string>& version) {
  if (!version) return false;
  const std::vector<std::string_view> wanted = componentsOf(*version);
  for (std::string_view component : wanted) {
    if (component.empty()) {
      throw platform::Exception(platform::kInvalidArgumentException, kEmptyVersionComponentReason);
    }
    if (!std::all_of(component.begin(), component.end(), isDigit)) {
      throw platform::Exception(platform::kInvalidArgumentException, kNonNumericVersionComponentReason);
    }
  }

  std::vector<std::int64_t> wantedNumbers = versionNumbers(wanted);
  std::vector<std::int64_t> systemNumbers = versionNumbers(componentsOf(systemVersion()));
  const std::size_t length = std::max(wantedNumbers.size(), systemNumbers.size());
  wantedNumbers.resize(length, 0);
  systemNumbers.resize(length, 0);
  return systemNumbers >= wantedNumbers;
}

bool OVAdDevice::systemVersionIsLessThan(const std::optional<std::string>& version) {
  return !systemVersionIsGreaterThanOrEqualTo(version);
}

bool OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS8() { return systemVersionIsGreaterThanOrEqualTo(kVersion8); }

bool OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS9() { return systemVersionIsGreaterThanOrEqualTo(kVersion9); }

std::int64_t OVAdDevice::deviceModelForMachine(const std::optional<std::string>& machine) {
  if (!machine) return kUnknownDeviceModel;
  const std::size_t comma = machine->find(',');
  const std::int64_t minor =
      comma == std::string::npos ? kNoMinorNumber : leadingIntegerValue(std::string_view(*machine).substr(comma + 1));
  for (const ModelFamily& family : kModelFamilies) {
    if (belongsToFamily(*machine, family.prefix)) return family.code(minor);
  }
  return kUnknownDeviceModel;
}

std::int64_t OVAdDevice::fillRateForDeviceModel(std::int64_t deviceModel) {
  switch (deviceModel) {
    case 3:
    case 4:
    case 103:
    case 104:
    case 201:
    case 203:
      return 0;
    case 5:
    case 105:
    case 202:
    case 207:
      return 1;
    case 6:
    case 204:
    case 900:
      return 2;
    case 7:
    case 8:
    case 9:
    case 205:
    case 206:
    case 208:
      return 3;
    default:
      return 4;
  }
}

}  // namespace plexora

#include "platform/device/Battery.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

namespace plexora::platform {
namespace {

constexpr std::string_view kBatteryType = "Battery";
// Peripherals (a mouse, a headset) report their own batteries with this scope.
constexpr std::string_view kPeripheralScope = "Device";
constexpr int kFullCapacity = 100;

std::string_view withoutLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

BatteryState stateForStatus(std::string_view status) {
  if (status == "Charging") return BatteryState::Charging;
  if (status == "Discharging") return BatteryState::Unplugged;
  if (status == "Full" || status == "Not charging") return BatteryState::Full;
  return BatteryState::Unknown;
}

std::optional<std::string> readAttribute(const std::filesystem::path& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

BatteryReading batteryFromSupplyTexts(std::string_view status, std::string_view capacity) {
  BatteryReading reading;
  reading.state = stateForStatus(withoutLineEnd(status));

  capacity = withoutLineEnd(capacity);
  int percent = 0;
  const auto [end, error] = std::from_chars(capacity.data(), capacity.data() + capacity.size(), percent);
  if (error == std::errc() && end == capacity.data() + capacity.size() && !capacity.empty() && percent >= 0 &&
      percent <= kFullCapacity) {
    reading.level = static_cast<double>(percent) / kFullCapacity;
  }
  return reading;
}

BatteryReading readSystemBattery(const std::string& powerSupplyDirectory) {
  std::error_code error;
  std::vector<std::filesystem::path> supplies;
  for (std::filesystem::directory_iterator it(powerSupplyDirectory, error), end; !error && it != end;
       it.increment(error)) {
    supplies.push_back(it->path());
  }
  if (error) return kMainsPowerReading;
  std::sort(supplies.begin(), supplies.end());

  for (const auto& supply : supplies) {
    const auto type = readAttribute(supply / "type");
    if (!type || withoutLineEnd(*type) != kBatteryType) continue;
    const auto scope = readAttribute(supply / "scope");
    if (scope && withoutLineEnd(*scope) == kPeripheralScope) continue;
    return batteryFromSupplyTexts(readAttribute(supply / "status").value_or(""),
                                  readAttribute(supply / "capacity").value_or(""));
  }
  return kMainsPowerReading;
}

}  // namespace plexora::platform

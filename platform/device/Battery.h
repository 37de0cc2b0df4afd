// The battery as the kernel's power-supply class describes it
// (/sys/class/power_supply/<name>/{type,scope,status,capacity}).
//
// Thread safety: pure functions and file reads, callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace plexora::platform {

// The numbers the library reports for a battery state.
enum class BatteryState : std::int64_t { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

struct BatteryReading {
  BatteryState state = BatteryState::Unknown;
  // 0.0 to 1.0; -1.0 when unknown.
  double level = -1.0;

  bool operator==(const BatteryReading&) const = default;
};

// A machine without a battery runs on mains power: it reads like a full one.
inline constexpr BatteryReading kMainsPowerReading{BatteryState::Full, 1.0};

// One supply's "status" and "capacity" texts (a trailing newline allowed).
// "Charging", "Discharging" and "Full" map to their states, "Not charging"
// (plugged in, held below full) to Full, anything else to Unknown; the level
// is the capacity percentage (0 to 100) over 100, -1.0 when it is no such
// number.
PLEXORA_EXPORT BatteryReading batteryFromSupplyTexts(std::string_view status, std::string_view capacity);

// The first supply under `powerSupplyDirectory` (by name) whose type is
// "Battery" and that powers the system (its scope is not "Device"); the mains
// reading when there is none or the directory cannot be read.
PLEXORA_EXPORT BatteryReading readSystemBattery(const std::string& powerSupplyDirectory);

}  // namespace plexora::platform

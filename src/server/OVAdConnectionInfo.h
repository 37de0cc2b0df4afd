// What kind of network connection the device has: the type and category the
// ad request reports, and the reachability the video code asks about.
//
// Connection types: 0 none or unknown, 1 wifi, 2 GPRS, 3 Edge, 4 WCDMA,
// 5 HSDPA, 6 HSUPA, 7 CDMA1x, 8-10 CDMA EV-DO Rev. 0/A/B, 11 eHRPD, 12 LTE.
// Categories: 0 none, 1 wifi, 2 to 4 the cellular generations.
// Reachability status: 0 not reachable, 1 through wifi (any link that is not
// the cellular one), 2 through the cellular network.
//
// Thread safety: every operation may be called from any thread; each reads
// the current device profile (platform/device/DeviceProvider.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plexora {

inline constexpr std::int64_t kOVAdConnectionTypeNone = 0;
inline constexpr std::int64_t kOVAdConnectionTypeWiFi = 1;

inline constexpr std::uint64_t kOVAdReachabilityNotReachable = 0;
inline constexpr std::uint64_t kOVAdReachabilityViaWiFi = 1;
inline constexpr std::uint64_t kOVAdReachabilityViaCellular = 2;

class OVAdConnectionInfo final {
 public:
  OVAdConnectionInfo() = delete;

  static std::int64_t currentConnectionCategory();
  static std::int64_t categoryForType(std::int64_t type);
  static std::int64_t currentConnection();
  // The cellular radio access technology's name with the system's prefix
  // removed ("LTE"); none without a radio.
  static std::optional<std::string> currentCellularConnection();
  // The type of the first technology name the text contains (checked from
  // GPRS to LTE); 0 for none.
  static std::int64_t typeFromString(const std::optional<std::string>& technology);
  static std::uint64_t currentReachabilityStatus();
  static std::uint64_t statusForReachabilityFlags(std::uint32_t flags);
};

}  // namespace plexora

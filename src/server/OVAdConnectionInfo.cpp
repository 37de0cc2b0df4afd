#include "server/OVAdConnectionInfo.h"

#include <array>
#include <utility>

#include "platform/device/DeviceProvider.h"
#include "platform/device/NetworkReachability.h"

namespace plexora {
namespace {

// The prefix the telephony service puts before every technology name.
constexpr std::string_view kRadioAccessTechnologyPrefix = "CTRadioAccessTechnology";

// Searched in this order; the first name the text contains decides.
constexpr std::array<std::pair<std::string_view, std::int64_t>, 11> kTechnologyTypes{{
    {"GPRS", 2},
    {"Edge", 3},
    {"WCDMA", 4},
    {"HSDPA", 5},
    {"HSUPA", 6},
    {"CDMA1x", 7},
    {"CDMAEVDORev0", 8},
    {"CDMAEVDORevA", 9},
    {"CDMAEVDORevB", 10},
    {"eHRPD", 11},
    {"LTE", 12},
}};

constexpr std::int64_t kLTEType = 12;

std::string withoutPrefix(std::string text) {
  for (std::size_t at = text.find(kRadioAccessTechnologyPrefix); at != std::string::npos;
       at = text.find(kRadioAccessTechnologyPrefix, at)) {
    text.erase(at, kRadioAccessTechnologyPrefix.size());
  }
  return text;
}

}  // namespace

std::int64_t OVAdConnectionInfo::currentConnectionCategory() { return categoryForType(currentConnection()); }

std::int64_t OVAdConnectionInfo::categoryForType(std::int64_t type) {
  if (type == kOVAdConnectionTypeWiFi) return 1;
  if (type >= 2 && type <= 4) return 2;
  if (type >= 5 && type <= 11) return 3;
  if (type == kLTEType) return 4;
  return 0;
}

std::int64_t OVAdConnectionInfo::currentConnection() {
  switch (currentReachabilityStatus()) {
    case kOVAdReachabilityViaWiFi:
      return kOVAdConnectionTypeWiFi;
    case kOVAdReachabilityViaCellular:
      return typeFromString(currentCellularConnection());
    default:
      return kOVAdConnectionTypeNone;
  }
}

std::optional<std::string> OVAdConnectionInfo::currentCellularConnection() {
  auto technology = platform::DeviceProvider::current()->profile().radioAccessTechnology;
  if (!technology) return std::nullopt;
  return withoutPrefix(std::move(*technology));
}

std::int64_t OVAdConnectionInfo::typeFromString(const std::optional<std::string>& technology) {
  if (!technology) return kOVAdConnectionTypeNone;
  for (const auto& [name, type] : kTechnologyTypes) {
    if (technology->find(name) != std::string::npos) return type;
  }
  return kOVAdConnectionTypeNone;
}

std::uint64_t OVAdConnectionInfo::currentReachabilityStatus() {
  const auto flags = platform::DeviceProvider::current()->profile().reachabilityFlags;
  if (!flags) return kOVAdReachabilityNotReachable;
  return statusForReachabilityFlags(*flags);
}

std::uint64_t OVAdConnectionInfo::statusForReachabilityFlags(std::uint32_t flags) {
  using namespace platform;
  if ((flags & kReachabilityFlagReachable) == 0) return kOVAdReachabilityNotReachable;
  if ((flags & kReachabilityFlagIsWWAN) != 0) return kOVAdReachabilityViaCellular;
  const bool connectsAutomatically =
      (flags & (kReachabilityFlagConnectionOnTraffic | kReachabilityFlagConnectionOnDemand)) != 0;
  if (connectsAutomatically && (flags & kReachabilityFlagInterventionRequired) == 0) return kOVAdReachabilityViaWiFi;
  if ((flags & kReachabilityFlagConnectionRequired) == 0) return kOVAdReachabilityViaWiFi;
  return kOVAdReachabilityNotReachable;
}

}  // namespace plexora

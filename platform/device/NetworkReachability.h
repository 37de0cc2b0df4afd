// Reachability flags of a network route, bit for bit the ones the library's
// connection classification reads.
//
// Thread safety: constants only.
#pragma once

#include <cstdint>

namespace plexora::platform {

inline constexpr std::uint32_t kReachabilityFlagReachable = 1u << 1;
inline constexpr std::uint32_t kReachabilityFlagConnectionRequired = 1u << 2;
inline constexpr std::uint32_t kReachabilityFlagConnectionOnTraffic = 1u << 3;
inline constexpr std::uint32_t kReachabilityFlagInterventionRequired = 1u << 4;
inline constexpr std::uint32_t kReachabilityFlagConnectionOnDemand = 1u << 5;
inline constexpr std::uint32_t kReachabilityFlagIsWWAN = 1u << 18;

}  // namespace plexora::platform

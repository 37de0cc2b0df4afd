// The key under which the ad server's answer for one request shape is kept
// in the resource cache: the fields of the request's environment data that
// tell shapes apart.
//
// Thread safety: a pure function, callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace plexora {

// "TYPE:ID:POD:TEMPLATE:HEIGHT:WIDTH:ADS", the ad height and width truncated
// to whole numbers (values that are not finite, or out of range, count as 0).
std::string OVAdEnvironmentCacheKey(std::int64_t placementType, const std::string& placementID,
                                    std::uint64_t podPosition, std::int64_t templateID, double adHeight, double adWidth,
                                    std::int64_t numberOfAdsRequested);

}  // namespace plexora

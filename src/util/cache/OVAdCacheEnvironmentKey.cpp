#include "util/cache/OVAdCacheEnvironmentKey.h"

#include <cmath>
#include <limits>

namespace plexora {

namespace {

constexpr char kSeparator = ':';

std::int64_t truncatedDimension(double value) {
  // -2^63 is exact as a double; 2^63 is the first value beyond the range.
  constexpr double kLowest = static_cast<double>(std::numeric_limits<std::int64_t>::min());
  if (!std::isfinite(value) || value < kLowest || value >= -kLowest) {
    return 0;
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::string OVAdEnvironmentCacheKey(std::int64_t placementType, const std::string& placementID,
                                    std::uint64_t podPosition, std::int64_t templateID, double adHeight, double adWidth,
                                    std::int64_t numberOfAdsRequested) {
  std::string key = std::to_string(placementType);
  key += kSeparator;
  key += placementID;
  key += kSeparator;
  key += std::to_string(podPosition);
  key += kSeparator;
  key += std::to_string(templateID);
  key += kSeparator;
  key += std::to_string(truncatedDimension(adHeight));
  key += kSeparator;
  key += std::to_string(truncatedDimension(adWidth));
  key += kSeparator;
  key += std::to_string(numberOfAdsRequested);
  return key;
}

}  // namespace plexora

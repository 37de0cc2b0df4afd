#include "server/OVAdLoadThrottle.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "server/OVAdEnvironmentData.h"
#include "util/cache/OVAdCacheEnvironmentKey.h"

namespace plexora {
namespace {

constexpr const char* kClassName = "OVAdConnectionUtility";
constexpr const char* kNotImplementedFormat = "[%s %s:] not implemented.";
constexpr std::int64_t kFirstUnknownPlacementType = 6;
// How a missing identifier reads inside a key.
constexpr const char* kNoPlacementID = "(null)";

struct ThrottleState {
  std::recursive_mutex lock;
  std::map<std::string, double> lastLoadTimes;
  std::map<std::string, std::int64_t> lastRefreshThresholds;
  std::optional<bool> forceThrottle;
};

ThrottleState& state() {
  // Never destroyed: loads may still ask while the process exits.
  static auto* const shared = new ThrottleState();
  return *shared;
}

std::int64_t defaultRefreshThreshold(std::int64_t placementType) {
  if (placementType >= kFirstUnknownPlacementType) {
    char reason[128];
    std::snprintf(reason, sizeof(reason), kNotImplementedFormat, kClassName,
                  "getLastRefreshThresholdForEnvironmentData");
    throw platform::Exception(platform::kInternalInconsistencyException, reason);
  }
  return placementType == kOVAdPlacementTypeBanner ? kOVAdBannerDefaultRefreshThreshold : kOVAdNoRefreshThreshold;
}

}  // namespace

std::optional<bool> OVAdConnectionUtility::forceThrottle() {
  std::lock_guard lock(state().lock);
  return state().forceThrottle;
}

void OVAdConnectionUtility::setForceThrottle(std::optional<bool> forceThrottle) {
  std::lock_guard lock(state().lock);
  state().forceThrottle = forceThrottle;
}

std::string OVAdConnectionUtility::cacheKeyForEnvironmentData(const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return "";
  }
  const OVAdSize adSize = environmentData->adSize();
  return OVAdEnvironmentCacheKey(environmentData->placementType(), environmentData->placementID().value_or(kNoPlacementID),
                                 environmentData->podPosition(), environmentData->templateId(), adSize.height,
                                 adSize.width, static_cast<std::int64_t>(environmentData->numAdsRequested()));
}

bool OVAdConnectionUtility::shouldThrottleFrequentLoadForEnvironmentData(const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return false;
  }
  if (const std::optional<bool> forced = forceThrottle()) {
    return *forced;
  }
  if (environmentData->retryForPodPosition()) {
    return false;
  }
  const std::optional<double> lastLoadTime = getLastLoadTimeForEnvironmentData(environmentData);
  if (!lastLoadTime) {
    return false;
  }
  const double elapsed = platform::Clock::current()->wallTime() - *lastLoadTime;
  const std::int64_t threshold = getLastRefreshThresholdForEnvironmentData(environmentData);
  return static_cast<double>(threshold) > elapsed;
}

void OVAdConnectionUtility::setLastLoadTime(double date, const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  std::lock_guard lock(state().lock);
  state().lastLoadTimes[key] = date;
}

std::optional<double> OVAdConnectionUtility::getLastLoadTimeForEnvironmentData(
    const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return std::nullopt;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  std::lock_guard lock(state().lock);
  const auto found = state().lastLoadTimes.find(key);
  if (found == state().lastLoadTimes.end()) {
    return std::nullopt;
  }
  return found->second;
}

void OVAdConnectionUtility::setLastRefreshThreshold(std::int64_t threshold,
                                                    const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  std::lock_guard lock(state().lock);
  state().lastRefreshThresholds[key] = threshold;
}

std::int64_t OVAdConnectionUtility::getLastRefreshThresholdForEnvironmentData(
    const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return kOVAdNoRefreshThreshold;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  {
    std::lock_guard lock(state().lock);
    const auto found = state().lastRefreshThresholds.find(key);
    if (found != state().lastRefreshThresholds.end()) {
      return found->second;
    }
  }
  // Outside the lock: an unknown type throws.
  return defaultRefreshThreshold(environmentData->placementType());
}

void OVAdConnectionUtility::resetForTesting() {
  {
    std::lock_guard lock(state().lock);
    state().lastLoadTimes.clear();
    state().lastRefreshThresholds.clear();
    state().forceThrottle.reset();
  }
  forgetCachedResponses();
}

}  // namespace plexora

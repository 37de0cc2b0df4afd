// Keeps the host from asking the ad server for the same request shape more
// often than the server allows, and keeps the last cacheable ads answer for
// that shape so a throttled load can still be served.
//
// Per shape (the environment's cache key) it remembers when the last answer
// arrived and the refresh threshold that answer named. A load inside the
// threshold is throttled; a retry for a pod position never is.
//
// Thread safety: every member may be called from any thread; the maps sit
// behind one recursive lock and the resource cache locks for itself.
// Ownership: the state is process-wide and lives for the process; entries
// are overwritten by later answers, never removed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "server/OVAdProviderResponse.h"

namespace plexora {

class OVAdEnvironmentData;

// The threshold that means "never throttle".
inline constexpr std::int64_t kOVAdNoRefreshThreshold = -1;
// A banner's threshold until the server names one, in seconds.
inline constexpr std::int64_t kOVAdBannerDefaultRefreshThreshold = 20;

class OVAdConnectionUtility final {
 public:
  OVAdConnectionUtility() = delete;

  // When set, answers every throttle question by itself.
  static std::optional<bool> forceThrottle();
  static void setForceThrottle(std::optional<bool> forceThrottle);

  // Whether a load of this shape must not reach the server now. Throws
  // platform::Exception (NSInternalInconsistencyException) for a placement
  // type of 6 or more.
  static bool shouldThrottleFrequentLoadForEnvironmentData(const OVAdEnvironmentData* environmentData);

  // "TYPE:ID:POD:TEMPLATE:HEIGHT:WIDTH:ADS"; "" without environment data.
  static std::string cacheKeyForEnvironmentData(const OVAdEnvironmentData* environmentData);

  // `date` in seconds since 1970. Nothing without environment data.
  static void setLastLoadTime(double date, const OVAdEnvironmentData* environmentData);
  static std::optional<double> getLastLoadTimeForEnvironmentData(const OVAdEnvironmentData* environmentData);
  // Seconds. Nothing without environment data.
  static void setLastRefreshThreshold(std::int64_t threshold, const OVAdEnvironmentData* environmentData);
  // The stored threshold, else the placement type's default; -1 without
  // environment data. Throws as shouldThrottle... does for an unknown type.
  static std::int64_t getLastRefreshThresholdForEnvironmentData(const OVAdEnvironmentData* environmentData);

  // A copy of the cached answer whose candidates have fired no trackers yet
  // (each serve fires them anew); null when nothing live is cached.
  static std::shared_ptr<OVAdProviderResponseAds> cachedResponseForEnvironmentData(
      const OVAdEnvironmentData* environmentData);
  // Keeps an ads answer with candidates whose definition is cacheable, until
  // its refresh threshold has passed; anything else is not kept.
  static void setCachedResponse(const std::shared_ptr<OVAdProviderResponse>& response,
                                const OVAdEnvironmentData* environmentData);

  // Forgets the maps, the override and the answers cached through this
  // class. Tests only.
  static void resetForTesting();

 private:
  static void forgetCachedResponses();
};

}  // namespace plexora

// The response-cache half of OVAdConnectionUtility: the last cacheable ads
// answer per request shape, kept in the shared resource cache.
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "platform/dispatch/Clock.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdLoadThrottle.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdLogger.h"

namespace plexora {
namespace {

constexpr const char* kReturningMessage = "returning cached response key %s for response %s";
constexpr const char* kSettingMessage = "setting cached response key %s for response %s";

// The resource cache drops expired entries only at its next sweep; the
// answer carries its own expiry so it is never served past it.
struct OVAdCachedResponse {
  std::shared_ptr<OVAdProviderResponseAds> response;
  double expiresAt = 0.0;
};

struct CachedKeys {
  std::mutex lock;
  std::set<std::string> keys;
};

CachedKeys& cachedKeys() {
  static auto* const shared = new CachedKeys();
  return *shared;
}

std::string describe(const void* object) {
  if (object == nullptr) {
    return "(null)";
  }
  char text[2 + 2 * sizeof(void*) + 3];
  std::snprintf(text, sizeof(text), "<%p>", object);
  return text;
}

}  // namespace

std::shared_ptr<OVAdProviderResponseAds> OVAdConnectionUtility::cachedResponseForEnvironmentData(
    const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr) {
    return nullptr;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  std::shared_ptr<OVAdProviderResponseAds> response;
  if (const auto cached = OVAdCache::sharedCache()->objectForKey(key).as<OVAdCachedResponse>()) {
    if (platform::Clock::current()->wallTime() < cached->expiresAt) {
      response = cached->response;
    }
  }
  OV_LOG(kOVAdLogLevelVerbose, kReturningMessage, key.c_str(), describe(response.get()).c_str());
  return response ? response->copy() : nullptr;
}

void OVAdConnectionUtility::setCachedResponse(const std::shared_ptr<OVAdProviderResponse>& response,
                                              const OVAdEnvironmentData* environmentData) {
  if (environmentData == nullptr || !response || response->type() != OVAdProviderResponseType::Ads) {
    return;
  }
  auto ads = std::dynamic_pointer_cast<OVAdProviderResponseAds>(response);
  if (!ads || !ads->adPlacement()) {
    return;
  }
  const OVAdPlacement& placement = *ads->adPlacement();
  const auto& definition = placement.definition();
  if (placement.adCandidates().empty() || !definition || !definition->cacheable()) {
    return;
  }
  const std::string key = cacheKeyForEnvironmentData(environmentData);
  OV_LOG(kOVAdLogLevelVerbose, kSettingMessage, key.c_str(), describe(ads.get()).c_str());
  const std::int64_t threshold = definition->refreshThreshold();
  if (threshold <= 0) {
    return;
  }
  const double expiresAt = platform::Clock::current()->wallTime() + static_cast<double>(threshold);
  auto cached = std::make_shared<OVAdCachedResponse>(OVAdCachedResponse{std::move(ads), expiresAt});
  OVAdCache::sharedCache()->setObjectWithExpiration(std::move(cached), key, expiresAt);
  std::lock_guard lock(cachedKeys().lock);
  cachedKeys().keys.insert(key);
}

void OVAdConnectionUtility::forgetCachedResponses() {
  std::set<std::string> keys;
  {
    std::lock_guard lock(cachedKeys().lock);
    keys.swap(cachedKeys().keys);
  }
  for (const std::string& key : keys) {
    OVAdCache::sharedCache()->setObject(OVAdCacheValue(), key, 0);
  }
}

}  // namespace plexora

#include "dto/OVAdPlacementDefinition.h"

#include <exception>
#include <mutex>
#include <string>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kTypeKey = "type";
constexpr const char* kMinViewabilityPercentageKey = "min_viewability_percentage";
constexpr const char* kRefreshKey = "refresh";
constexpr const char* kRefreshThresholdKey = "refresh_threshold";
constexpr const char* kRequestTimeoutKey = "request_timeout";
constexpr const char* kClientMaxRetryCountKey = "client_max_retry_count";
constexpr const char* kCacheableKey = "cacheable";
constexpr const char* kViewabilityCheckTickerKey = "viewability_check_ticker";
constexpr const char* kViewabilityCheckInitialDelayKey = "viewability_check_initial_delay";
constexpr const char* kViewabilityCheckIntervalKey = "viewability_check_interval";
constexpr const char* kPlacementWidthKey = "placement_width";
constexpr const char* kPlacementHeightKey = "placement_height";
constexpr const char* kConversionTrackingDataKey = "conv_tracking_data";

constexpr const char* kTypeBanner = "banner";
constexpr const char* kTypeInterstitial = "interstitial";
constexpr const char* kTypeNative = "native";

constexpr const char* kLocalCookieUpdatedFormat = "Local cookie updated: %s";
constexpr const char* kInstallerFailureName = "OVAdCookieInstallationFailure";

std::mutex& installerMutex() {
  static std::mutex mutex;
  return mutex;
}

OVAdPlacementDefinition::LocalCookieInstaller& installerSlot() {
  static OVAdPlacementDefinition::LocalCookieInstaller installer;
  return installer;
}

OVAdPlacementDefinition::LocalCookieInstaller currentInstaller() {
  std::lock_guard lock(installerMutex());
  return installerSlot();
}

void reportInstallationFailure(const platform::Exception& exception) {
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createErrorEventWithException(&exception));
}

// Milliseconds on the wire, seconds in the definition.
double millisecondsKeyAsSeconds(const platform::Value& data, const char* key, double currentSeconds) {
  // Saturates instead of overflowing for a value set out of range.
  const std::int64_t currentMilliseconds = platform::Value(currentSeconds * 1000.0).toInt64();
  return static_cast<double>(integerForKey(data, key, currentMilliseconds)) / 1000.0;
}

void installLocalCookies(const std::vector<std::shared_ptr<OVAdCookieData>>& cookies) {
  const auto installer = currentInstaller();
  try {
    for (const auto& cookieData : cookies) {
      if (!cookieData->isLocalOnly()) {
        continue;
      }
      const OVAdHTTPCookie& cookie = *cookieData->cookie();
      OV_LOG(kOVAdLogLevelVerbose, kLocalCookieUpdatedFormat, cookie.description().c_str());
      if (installer) {
        installer(cookie);
      }
    }
  } catch (const platform::Exception& exception) {
    reportInstallationFailure(exception);
  } catch (const std::exception& exception) {
    reportInstallationFailure(platform::Exception(kInstallerFailureName, exception.what()));
  }
}

}  // namespace

std::shared_ptr<OVAdPlacementDefinition> OVAdPlacementDefinition::initWithPlacementData(
    const platform::Value& placementData) {
  auto definition = std::make_shared<OVAdPlacementDefinition>();
  definition->ingestPlacementData(placementData);
  return definition;
}

void OVAdPlacementDefinition::ingestPlacementData(const platform::Value& placementData) {
  if (!placementData.isDictionary()) {
    return;
  }
  const std::string type = stringForKey(placementData, kTypeKey, "");
  if (type == kTypeBanner) {
    type_ = kOVAdPlacementDefinitionTypeBanner;
  } else if (type == kTypeInterstitial) {
    type_ = kOVAdPlacementDefinitionTypeInterstitial;
  } else if (type == kTypeNative) {
    type_ = kOVAdPlacementDefinitionTypeNative;
  }

  minViewabilityPercentage_ = integerForKey(placementData, kMinViewabilityPercentageKey, minViewabilityPercentage_);
  refreshInterval_ = integerForKey(placementData, kRefreshKey, refreshInterval_);
  refreshThreshold_ = integerForKey(placementData, kRefreshThresholdKey, refreshThreshold_);
  requestTimeout_ = integerForKey(placementData, kRequestTimeoutKey, requestTimeout_);
  clientMaxRetryCount_ = integerForKey(placementData, kClientMaxRetryCountKey, clientMaxRetryCount_);
  cacheable_ = boolForKey(placementData, kCacheableKey, false);
  minViewabilityTicks_ = integerForKey(placementData, kViewabilityCheckTickerKey, minViewabilityTicks_);

  viewabilityCheckInitialDelay_ =
      millisecondsKeyAsSeconds(placementData, kViewabilityCheckInitialDelayKey, viewabilityCheckInitialDelay_);
  viewabilityCheckInterval_ =
      millisecondsKeyAsSeconds(placementData, kViewabilityCheckIntervalKey, viewabilityCheckInterval_);

  const double width = doubleForKey(placementData, kPlacementWidthKey, placementSize_.width);
  const double height = doubleForKey(placementData, kPlacementHeightKey, placementSize_.height);
  if (width >= kOVAdSizeFlexible && height >= kOVAdSizeFlexible) {
    placementSize_ = OVAdSize{width, height};
  }

  cookieData_ = OVAdCookieData::parseCookieData(arrayForKey(placementData, kConversionTrackingDataKey, {}));

  bool hasLocalCookie = false;
  for (const auto& cookie : cookieData_) {
    hasLocalCookie = hasLocalCookie || cookie->isLocalOnly();
  }
  if (hasLocalCookie) {
    platform::DispatchQueue::main()->async([cookies = cookieData_] { installLocalCookies(cookies); });
  }
}

void OVAdPlacementDefinition::setLocalCookieInstaller(LocalCookieInstaller installer) {
  std::lock_guard lock(installerMutex());
  installerSlot() = std::move(installer);
}

}  // namespace plexora

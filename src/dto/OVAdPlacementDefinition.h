// What the ad server says about one placement: the parameters that drive the
// load's timeout, retries and refresh, viewability checks and the load
// throttle, and the conversion-tracking cookies to install.
//
// Thread safety: none inside. A definition is filled on the thread that
// parses the answer and only read once it has been handed on; the setters
// are for the thread that owns it before that.
// Ownership: shared by the placement, the response cache and the load
// controller that keeps the current one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dto/OVAdCookieData.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"

namespace plexora {

// The kinds of placement a definition may name; 0 until the server names one.
inline constexpr std::int64_t kOVAdPlacementDefinitionTypeNone = 0;
inline constexpr std::int64_t kOVAdPlacementDefinitionTypeBanner = 1;
inline constexpr std::int64_t kOVAdPlacementDefinitionTypeInterstitial = 2;
inline constexpr std::int64_t kOVAdPlacementDefinitionTypeNative = 3;

// The placement size before the server gives one.
inline constexpr double kOVAdPlacementSizeUnset = -2.0;

class OVAdPlacementDefinition final {
 public:
  // Stores one local cookie in the application's cookie storage. Runs on
  // the main queue; may throw, which is reported as a client error event.
  using LocalCookieInstaller = std::function<void(const OVAdHTTPCookie& cookie)>;

  // The defaults.
  OVAdPlacementDefinition() = default;
  OVAdPlacementDefinition(const OVAdPlacementDefinition&) = delete;
  OVAdPlacementDefinition& operator=(const OVAdPlacementDefinition&) = delete;

  // The defaults, then the server's "definition" object.
  static std::shared_ptr<OVAdPlacementDefinition> initWithPlacementData(const platform::Value& placementData);

  // Reads every known key of the server's "definition" object over the
  // current values; nothing unless `placementData` is a dictionary. Local
  // cookies are then installed asynchronously on the main queue.
  void ingestPlacementData(const platform::Value& placementData);

  // Where local cookies go; the platform has no shared cookie storage, so
  // without an installer they are only logged. Any thread.
  static void setLocalCookieInstaller(LocalCookieInstaller installer);

  std::int64_t type() const { return type_; }
  void setType(std::int64_t type) { type_ = type; }
  std::int64_t minViewabilityPercentage() const { return minViewabilityPercentage_; }
  void setMinViewabilityPercentage(std::int64_t value) { minViewabilityPercentage_ = value; }
  // Seconds; 0 means no refresh.
  std::int64_t refreshInterval() const { return refreshInterval_; }
  void setRefreshInterval(std::int64_t seconds) { refreshInterval_ = seconds; }
  // Seconds.
  std::int64_t refreshThreshold() const { return refreshThreshold_; }
  void setRefreshThreshold(std::int64_t seconds) { refreshThreshold_ = seconds; }
  // Milliseconds.
  std::int64_t requestTimeout() const { return requestTimeout_; }
  void setRequestTimeout(std::int64_t milliseconds) { requestTimeout_ = milliseconds; }
  std::int64_t clientMaxRetryCount() const { return clientMaxRetryCount_; }
  void setClientMaxRetryCount(std::int64_t count) { clientMaxRetryCount_ = count; }
  bool cacheable() const { return cacheable_; }
  void setCacheable(bool cacheable) { cacheable_ = cacheable; }
  std::int64_t minViewabilityTicks() const { return minViewabilityTicks_; }
  void setMinViewabilityTicks(std::int64_t ticks) { minViewabilityTicks_ = ticks; }
  // Seconds.
  double viewabilityCheckInitialDelay() const { return viewabilityCheckInitialDelay_; }
  void setViewabilityCheckInitialDelay(double seconds) { viewabilityCheckInitialDelay_ = seconds; }
  // Seconds.
  double viewabilityCheckInterval() const { return viewabilityCheckInterval_; }
  void setViewabilityCheckInterval(double seconds) { viewabilityCheckInterval_ = seconds; }
  OVAdSize placementSize() const { return placementSize_; }
  void setPlacementSize(OVAdSize size) { placementSize_ = size; }
  const std::vector<std::shared_ptr<OVAdCookieData>>& cookieData() const { return cookieData_; }
  void setCookieData(std::vector<std::shared_ptr<OVAdCookieData>> cookieData) { cookieData_ = std::move(cookieData); }

 private:
  std::int64_t type_ = kOVAdPlacementDefinitionTypeNone;
  std::int64_t minViewabilityPercentage_ = 1;
  std::int64_t refreshInterval_ = 0;
  std::int64_t refreshThreshold_ = 20;
  std::int64_t requestTimeout_ = 10000;
  std::int64_t clientMaxRetryCount_ = 3;
  bool cacheable_ = false;
  std::int64_t minViewabilityTicks_ = 0;
  double viewabilityCheckInitialDelay_ = 0.5;
  double viewabilityCheckInterval_ = 0.5;
  OVAdSize placementSize_{kOVAdPlacementSizeUnset, kOVAdPlacementSizeUnset};
  std::vector<std::shared_ptr<OVAdCookieData>> cookieData_;
};

}  // namespace plexora

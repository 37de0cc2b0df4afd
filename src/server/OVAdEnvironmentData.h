// What one ad load asks for: the placement, the kind of unit, its template
// and size, how many ads, and the bid payload when the host bought the ad
// through its own bidding. It produces the key-value parameters the ad
// provider posts to the ad server, and the bidder token the settings hand
// to the host.
//
// Thread safety: made and used on the main thread (the parameters read the
// application's orientations and walk its view controllers for the game
// engine probes). bidderToken() reads nothing of the main thread's and may
// be called from any thread.
// Ownership: shared by its owner (the display-ad controller or the native
// ads manager), the ad provider for the length of one load and the load
// throttle. It holds its bid payload and placement definition strongly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"

namespace plexora {

class OVAdBidPayload;
class OVAdPlacementDefinition;

// Placement types, as the server and the load throttle know them.
using OVAdPlacementType = std::int64_t;
inline constexpr OVAdPlacementType kOVAdPlacementTypeBanner = 1;
inline constexpr OVAdPlacementType kOVAdPlacementTypeInterstitial = 2;
inline constexpr OVAdPlacementType kOVAdPlacementTypeNative = 3;
inline constexpr OVAdPlacementType kOVAdPlacementTypeRewardedVideo = 4;
inline constexpr OVAdPlacementType kOVAdPlacementTypeInstream = 5;

// The event reporting session a request names.
struct OVAdSessionFacts {
  std::string sessionId;
  // Seconds since the session started.
  double sessionTime = 0.0;
};

class OVAdEnvironmentData final {
 public:
  // Where the session facts come from; by default the shared event manager.
  using SessionSource = std::function<OVAdSessionFacts()>;
  // Where "ADAPTERS" comes from: the network identifiers whose adapter is
  // available for a placement type. By default the adapter registry.
  using AdapterSource = std::function<std::vector<std::string>(OVAdPlacementType placementType)>;

  // No placement: what the bidder token is computed from.
  OVAdEnvironmentData();
  // One ad, no bid payload unless given. The status-bar orientation is read
  // here.
  OVAdEnvironmentData(std::optional<std::string> placementID, OVAdPlacementType placementType,
                      std::int64_t templateID, OVAdSize adSize, std::uint64_t numAdsRequested = 1,
                      std::shared_ptr<const OVAdBidPayload> bidPayload = nullptr);
  OVAdEnvironmentData(std::optional<std::string> placementID, OVAdPlacementType placementType,
                      std::int64_t templateID, OVAdSize adSize, std::shared_ptr<const OVAdBidPayload> bidPayload);

  OVAdEnvironmentData(const OVAdEnvironmentData&) = delete;
  OVAdEnvironmentData& operator=(const OVAdEnvironmentData&) = delete;

  const std::optional<std::string>& placementID() const { return placementID_; }
  void setPlacementID(std::optional<std::string> placementID) { placementID_ = std::move(placementID); }
  const std::shared_ptr<const OVAdBidPayload>& bidPayload() const { return bidPayload_; }
  void setBidPayload(std::shared_ptr<const OVAdBidPayload> bidPayload) { bidPayload_ = std::move(bidPayload); }
  OVAdPlacementType placementType() const { return placementType_; }
  void setPlacementType(OVAdPlacementType placementType) { placementType_ = placementType; }
  OVAdSize adSize() const { return adSize_; }
  void setAdSize(OVAdSize adSize) { adSize_ = adSize; }
  std::int64_t templateId() const { return templateId_; }
  void setTemplateId(std::int64_t templateId) { templateId_ = templateId; }
  std::uint64_t numAdsRequested() const { return numAdsRequested_; }
  void setNumAdsRequested(std::uint64_t numAdsRequested) { numAdsRequested_ = numAdsRequested; }
  // The application's status-bar orientation when this was made.
  std::int64_t initOrientation() const { return initOrientation_; }
  void setInitOrientation(std::int64_t initOrientation) { initOrientation_ = initOrientation; }
  const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition() const { return placementDefinition_; }
  void setPlacementDefinition(std::shared_ptr<OVAdPlacementDefinition> definition) {
    placementDefinition_ = std::move(definition);
  }
  std::uint64_t podPosition() const { return podPosition_; }
  void setPodPosition(std::uint64_t podPosition) { podPosition_ = podPosition; }
  // A retry of the same position, which the load throttle lets through.
  bool retryForPodPosition() const { return retryForPodPosition_; }
  void setRetryForPodPosition(bool retry) { retryForPodPosition_ = retry; }

  // False for a size flexible in both dimensions unless the placement is
  // native; otherwise whether a placement identifier is set.
  bool hasValidDefinition() const;

  // The request's parameters, computed anew at each call: numbers stay
  // numbers, the form encoder writes them out. Empty when the definition is
  // not valid. Takes the pending client events out of their list (so each
  // request carries each event once: call it once per request) and starts a
  // motion sample.
  platform::Dictionary adRequestParameters() const;

  // The device and application half of the parameters as compact JSON,
  // compressed with zlib and written in base64; "" when that fails.
  std::string bidderToken() const;

  // The parameters that do not depend on the placement, in request order:
  // what both the request and the bidder token carry.
  static platform::Dictionary deviceAndApplicationParameters();

  // Install a source (an empty one restores the default) and answer the one
  // replaced. Tests install their own so no shared manager or registry is
  // needed.
  static SessionSource installSessionSource(SessionSource source);
  static AdapterSource installAdapterSource(AdapterSource source);

 private:
  std::optional<std::string> placementID_;
  std::shared_ptr<const OVAdBidPayload> bidPayload_;
  OVAdPlacementType placementType_ = 0;
  OVAdSize adSize_;
  std::int64_t templateId_ = 0;
  std::uint64_t numAdsRequested_ = 0;
  std::int64_t initOrientation_ = 0;
  std::shared_ptr<OVAdPlacementDefinition> placementDefinition_;
  std::uint64_t podPosition_ = 1;
  bool retryForPodPosition_ = false;
};

}  // namespace plexora

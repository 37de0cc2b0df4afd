#include "server/OVAdEnvironmentData.h"

#include <utility>

#include "platform/ui/Application.h"

namespace plexora {

OVAdEnvironmentData::OVAdEnvironmentData() = default;

OVAdEnvironmentData::OVAdEnvironmentData(std::optional<std::string> placementID, OVAdPlacementType placementType,
                                         std::int64_t templateID, OVAdSize adSize, std::uint64_t numAdsRequested,
                                         std::shared_ptr<const OVAdBidPayload> bidPayload)
    : placementID_(std::move(placementID)),
      bidPayload_(std::move(bidPayload)),
      placementType_(placementType),
      adSize_(adSize),
      templateId_(templateID),
      numAdsRequested_(numAdsRequested),
      initOrientation_(static_cast<std::int64_t>(platform::Application::shared()->statusBarOrientation())) {}

OVAdEnvironmentData::OVAdEnvironmentData(std::optional<std::string> placementID, OVAdPlacementType placementType,
                                         std::int64_t templateID, OVAdSize adSize,
                                         std::shared_ptr<const OVAdBidPayload> bidPayload)
    : OVAdEnvironmentData(std::move(placementID), placementType, templateID, adSize, 1, std::move(bidPayload)) {}

bool OVAdEnvironmentData::hasValidDefinition() const {
  const bool flexibleBothWays = adSize_.width < 0.0 && adSize_.height < 0.0;
  if (flexibleBothWays && placementType_ != kOVAdPlacementTypeNative) {
    return false;
  }
  return placementID_.has_value();
}

}  // namespace plexora

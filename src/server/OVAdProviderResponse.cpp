#include "server/OVAdProviderResponse.h"

#include <utility>
#include <vector>

namespace plexora {

OVAdProviderResponseError::OVAdProviderResponseError(std::string errorMessage, std::int64_t errorCode,
                                                     std::shared_ptr<OVAdPlacementDefinition> definition)
    : OVAdProviderResponse(OVAdProviderResponseType::Error),
      errorMessage_(std::move(errorMessage)),
      errorCode_(errorCode),
      adPlacementDefinition_(std::move(definition)) {}

OVAdProviderResponseAds::OVAdProviderResponseAds(std::shared_ptr<OVAdPlacement> adPlacement)
    : OVAdProviderResponse(OVAdProviderResponseType::Ads), adPlacement_(std::move(adPlacement)) {}

std::shared_ptr<OVAdProviderResponseAds> OVAdProviderResponseAds::copy() const {
  return std::make_shared<OVAdProviderResponseAds>(adPlacement_->copy());
}

OVAdProviderCannedResponse::OVAdProviderCannedResponse(std::shared_ptr<OVAdPlacement> cannedPlacement)
    : OVAdProviderResponseAds(std::move(cannedPlacement)) {}

std::shared_ptr<OVAdProviderCannedResponse> OVAdProviderCannedResponse::initWithResponse(
    const OVAdProviderResponseAds& response, std::int64_t index) {
  const OVAdPlacement& placement = *response.adPlacement();
  const auto& candidates = placement.adCandidates();
  if (index < 0 || static_cast<std::uint64_t>(index) >= candidates.size()) {
    return nullptr;
  }
  auto narrowed = std::make_shared<OVAdPlacement>(placement.code(), placement.message(), placement.definition(),
                                                  std::vector{candidates[static_cast<std::size_t>(index)]});
  return std::shared_ptr<OVAdProviderCannedResponse>(new OVAdProviderCannedResponse(std::move(narrowed)));
}

}  // namespace plexora

#include <utility>

#include "server/OVAdProvider.h"

namespace plexora {

std::shared_ptr<OVAdProviderWithResponse> OVAdProviderWithResponse::initWithResponse(
    const OVAdProviderResponseAds& response, std::int64_t index) {
  auto canned = OVAdProviderCannedResponse::initWithResponse(response, index);
  if (!canned) {
    return nullptr;
  }
  return std::shared_ptr<OVAdProviderWithResponse>(new OVAdProviderWithResponse(std::move(canned)));
}

OVAdProviderWithResponse::OVAdProviderWithResponse(std::shared_ptr<OVAdProviderResponseAds> response)
    : OVAdProvider({}, nullptr), response_(std::move(response)) {}

void OVAdProviderWithResponse::loadAdWithEnvironmentData(std::shared_ptr<OVAdEnvironmentData>) {
  if (const auto delegate = this->delegate()) {
    delegate->onAdRequestSuccess(response_);
  }
}

}  // namespace plexora

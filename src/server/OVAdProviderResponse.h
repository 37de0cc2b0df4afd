// What a load's answer from the ad server turned out to be: ads for a
// placement, an error the server reported, or a document of unknown type.
//
// Thread safety: immutable after construction; handed between the parsing
// queue and the main queue and readable on any thread.
// Ownership: shared; an ads response shares its placement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dto/OVAdPlacement.h"
#include "dto/OVAdPlacementDefinition.h"

namespace plexora {

enum class OVAdProviderResponseType : std::int64_t { Unknown = 0, Error = 1, Ads = 2 };

class OVAdProviderResponse {
 public:
  explicit OVAdProviderResponse(OVAdProviderResponseType type) : type_(type) {}
  virtual ~OVAdProviderResponse() = default;
  OVAdProviderResponse(const OVAdProviderResponse&) = delete;
  OVAdProviderResponse& operator=(const OVAdProviderResponse&) = delete;

  OVAdProviderResponseType type() const { return type_; }

 private:
  const OVAdProviderResponseType type_;
};

class OVAdProviderResponseError final : public OVAdProviderResponse {
 public:
  // `definition` may be null.
  OVAdProviderResponseError(std::string errorMessage, std::int64_t errorCode,
                            std::shared_ptr<OVAdPlacementDefinition> definition);

  const std::string& errorMessage() const { return errorMessage_; }
  std::int64_t errorCode() const { return errorCode_; }
  const std::shared_ptr<OVAdPlacementDefinition>& adPlacementDefinition() const { return adPlacementDefinition_; }

 private:
  const std::string errorMessage_;
  const std::int64_t errorCode_;
  const std::shared_ptr<OVAdPlacementDefinition> adPlacementDefinition_;
};

class OVAdProviderResponseAds : public OVAdProviderResponse {
 public:
  // `adPlacement` may not be null.
  explicit OVAdProviderResponseAds(std::shared_ptr<OVAdPlacement> adPlacement);

  const std::shared_ptr<OVAdPlacement>& adPlacement() const { return adPlacement_; }

  // The same answer whose candidates have fired no trackers yet, for serving
  // it again.
  std::shared_ptr<OVAdProviderResponseAds> copy() const;

 private:
  const std::shared_ptr<OVAdPlacement> adPlacement_;
};

// An ads response narrowed to one of its candidates, for a native ad that
// loads from it as from the server.
class OVAdProviderCannedResponse final : public OVAdProviderResponseAds {
 public:
  // A placement with the response's code, message and definition and the
  // one candidate at `index` (the same candidate object); null when the
  // index does not lie within the candidates.
  static std::shared_ptr<OVAdProviderCannedResponse> initWithResponse(const OVAdProviderResponseAds& response,
                                                                      std::int64_t index);

  const std::shared_ptr<OVAdPlacement>& cannedPlacement() const { return adPlacement(); }

 private:
  explicit OVAdProviderCannedResponse(std::shared_ptr<OVAdPlacement> cannedPlacement);
};

}  // namespace plexora

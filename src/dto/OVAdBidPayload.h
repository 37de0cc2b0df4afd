// The bid payload a host application hands to a load when it buys its ads
// through header bidding: the JSON text its bidding server returned, checked
// against the placement, template, device and library version it is used
// for. It holds either a bid identifier the request names, or the whole
// creative, which stands in for the ad server's answer.
//
// Thread safety: immutable once made; any thread may read it. The factory and
// the validation read the device profile and may run on any thread.
// Ownership: shared by the load's environment data and the ad provider.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/value/Value.h"

namespace plexora {

inline constexpr const char* kOVAdBidPayloadTypeEmpty = "EMPTY";
inline constexpr const char* kOVAdBidPayloadTypeID = "ID";
inline constexpr const char* kOVAdBidPayloadTypeCreative = "CREATIVE";

class OVAdBidPayload final {
 public:
  OVAdBidPayload(const OVAdBidPayload&) = delete;
  OVAdBidPayload& operator=(const OVAdBidPayload&) = delete;

  // The payload of `jsonData`, or null with `*error` (when given) set to an
  // internal error (2001) saying why. Text that is no JSON object, a
  // "bid_id" that is missing or not the decimal text of a signed 64-bit
  // integer, a key of the wrong type, and a creative without its "payload"
  // text all give "Invalid bid payload"; a bid made for another library
  // version, placement, template or device gives the message naming both.
  static std::shared_ptr<OVAdBidPayload> initWithJsonData(std::string_view jsonData, const std::string& placementID,
                                                          std::int64_t templateID,
                                                          std::optional<platform::Error>* error);

  // Whether the parsed payload was made for this library version, placement,
  // template and advertising identifier, in that order; each is compared
  // only when the payload names it. False with `*error` (when given) set for
  // the first mismatch, or for a key of the wrong type.
  static bool isPayloadValid(const platform::Value& payload, const std::string& placementID, std::int64_t templateID,
                             std::optional<platform::Error>* error);

  // kOVAdBidPayloadTypeEmpty, kOVAdBidPayloadTypeID or
  // kOVAdBidPayloadTypeCreative.
  const std::string& payloadType() const { return payloadType_; }
  std::int64_t bidID() const { return bidID_; }
  // The creative, the ad server's JSON answer in UTF-8; none unless the type
  // is kOVAdBidPayloadTypeCreative.
  const std::optional<platform::Bytes>& serverResponse() const { return serverResponse_; }

  bool hasServerResponse() const;
  bool hasBidID() const;

 private:
  OVAdBidPayload() = default;

  std::string payloadType_ = kOVAdBidPayloadTypeEmpty;
  std::int64_t bidID_ = 0;
  std::optional<platform::Bytes> serverResponse_;
};

}  // namespace plexora

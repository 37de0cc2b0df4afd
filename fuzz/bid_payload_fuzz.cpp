// Feeds arbitrary text to the bid payload parser, as a host application's
// bidding server could. It must never crash, and every answer must be
// consistent: a payload carries a bid identifier and a creative exactly when
// its type says so; a refusal always comes with an internal error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "dto/OVAdBidPayload.h"
#include "util/OVAdError.h"

using plexora::OVAdBidPayload;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "bid_payload_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<plexora::platform::Error> error;
  const auto payload = OVAdBidPayload::initWithJsonData(text, "123_456", 4, &error);
  if (!payload) {
    require(error.has_value(), "a refused payload has no error");
    require(error->code() == plexora::kOVAdErrorCodeInternalError, "a refusal is not an internal error");
    require(!error->localizedDescription().empty(), "a refusal does not say why");
    return 0;
  }
  require(!error.has_value(), "an accepted payload set an error");
  require(payload->hasBidID(), "an accepted payload has no bid identifier");
  if (payload->payloadType() == plexora::kOVAdBidPayloadTypeCreative) {
    require(payload->hasServerResponse(), "a creative has no server response");
    require(payload->serverResponse().has_value() && !payload->serverResponse()->empty(), "a creative is empty");
  } else {
    require(payload->payloadType() == plexora::kOVAdBidPayloadTypeID, "an unknown payload type");
    require(!payload->hasServerResponse() && !payload->serverResponse(), "a bid identifier carries a creative");
  }
  return 0;
}

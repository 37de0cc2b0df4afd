// Turns the ad server's JSON answer to a load into a response: ads for the
// placement, the server's error, or a document of unknown type.
//
// Thread safety: keeps no state between parses; any thread may parse, and
// several threads may share one parser.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/Bytes.h"
#include "platform/value/Value.h"
#include "server/OVAdProviderResponse.h"

namespace plexora {

// The code a JSON parse failure names: the platform's reader reports no
// codes of its own.
inline constexpr std::int64_t kOVAdJSONParseErrorCode = 1;

class OVAdProviderResponseParser final {
 public:
  using SuccessHandler = std::function<void(std::shared_ptr<OVAdProviderResponse> response)>;
  using ErrorHandler = std::function<void(const std::string& message)>;

  OVAdProviderResponseParser() = default;
  OVAdProviderResponseParser(const OVAdProviderResponseParser&) = delete;
  OVAdProviderResponseParser& operator=(const OVAdProviderResponseParser&) = delete;

  // Calls exactly one handler (both must be given), synchronously on the
  // calling thread. Text that is no JSON (or no UTF-8) and documents of the
  // wrong shape (no object at the top, a placement, an ad or a tracker that
  // is no object, a tracker of a known type without its "url" text) reach the
  // error handler; wrong types under the known keys read
  // as their defaults. Throws nothing of its own; what a handler throws
  // reaches the caller.
  void parseResponseFromData(platform::ByteView data, const SuccessHandler& successHandler,
                             const ErrorHandler& errorHandler) const;

  // The definition of the first placement of a parsed document when it has
  // a non-empty "placements" array and a numeric "code"; null otherwise.
  // Throws std::invalid_argument when that first placement is no object.
  static std::shared_ptr<OVAdPlacementDefinition> parsePlacementDefinitionFromData(const platform::Value& document);
};

}  // namespace plexora

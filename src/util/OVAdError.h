// The factory of every error the library hands to the host's delegates or
// passes between its parts.
//
// An error's user information holds exactly two entries: the description
// under platform::kLocalizedDescriptionKey and the detail dictionary (empty
// when there is none) under kOVAdErrorDetailKey (plexora/OVAdErrorDomain.h).
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/value/Value.h"
#include "plexora/OVAdErrorDomain.h"

namespace plexora {

class OVAdError final {
 public:
  OVAdError() = delete;

  // The description of each known code.
  static const std::map<std::int64_t, std::string>& defaultDescriptions();
  // "" for an unknown code.
  static std::string defaultDescriptionForKey(std::int64_t code);

  // An error in the library's domain; without a description, the code's
  // default description.
  static platform::Error getNSError(std::int64_t code, std::optional<std::string> description = std::nullopt,
                                    platform::Dictionary detail = {});
  // The same in another domain.
  static platform::Error getNSError(std::int64_t code, std::string domain, std::optional<std::string> description,
                                    platform::Dictionary detail);

  // An error for a failed server response whose body may explain it: the
  // "message", "type" and "code" of the body's "error" object are added to
  // (a copy of) the detail, the code's number as text. A body that is
  // missing, no JSON or no object gives the error without them. The error's
  // own code is always `code`.
  static platform::Error getErrorFromJSON(std::optional<platform::ByteView> data, std::int64_t code,
                                          std::optional<std::string> description = std::nullopt,
                                          platform::Dictionary detail = {});
};

}  // namespace plexora

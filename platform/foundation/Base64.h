// Base64 with the standard alphabet and "=" padding.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.h"

namespace plexora::platform {

std::string base64Encode(ByteView bytes);

// Accepts only complete, padded groups of the standard alphabet: whitespace,
// other characters, misplaced or missing padding answer nullopt.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace plexora::platform

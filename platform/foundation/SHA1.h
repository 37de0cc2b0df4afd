// SHA-1 digests (FIPS 180-4).
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/foundation/Bytes.h"

namespace plexora::platform {

using SHA1Digest = std::array<std::uint8_t, 20>;

SHA1Digest sha1(ByteView bytes);

// The digest as 40 lower-case hexadecimal digits, in digest order.
std::string sha1Hex(ByteView bytes);

}  // namespace plexora::platform

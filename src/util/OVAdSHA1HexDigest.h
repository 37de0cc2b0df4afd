// The SHA-1 digest of a text in hexadecimal, the form this device's test
// hash takes.
//
// Thread safety: a pure function, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace plexora {

// The digest of the text's UTF-8 bytes as 40 lower-case hexadecimal digits,
// two per byte, in digest order.
std::string OVAdSHA1HexDigest(std::string_view text);

}  // namespace plexora

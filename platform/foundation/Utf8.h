// Checking text for well-formed UTF-8 (RFC 3629): no overlong forms, no
// surrogates, nothing above U+10FFFF.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string_view>

namespace plexora::platform {

bool isValidUTF8(std::string_view text);

// The longest start of `text` of at most `maxBytes` bytes that does not cut
// a character apart; `text` itself when it is short enough. Meant for
// valid UTF-8: it only looks at the bytes around the cut.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace plexora::platform

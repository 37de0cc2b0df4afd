// The byte buffer type of the foundation services.
//
// Thread safety: a plain value type.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace plexora::platform {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Views the characters of a string as bytes (no copy).
inline ByteView asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace plexora::platform

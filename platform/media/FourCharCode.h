// Four-character codes ('avc1', 'aac ') as the 32-bit big-endian numbers that
// media formats store them as.
//
// Thread safety: constant expressions.
#pragma once

#include <cstdint>

namespace plexora::platform {

using FourCharCode = uint32_t;

constexpr FourCharCode fourCharCode(const char (&text)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

}  // namespace plexora::platform

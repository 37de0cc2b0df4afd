#include "platform/foundation/UUID.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <random>

namespace plexora::platform {
namespace {

// Straight from the kernel rather than through the crypto library: UUIDs are
// made on worker threads that may still run while the process exits, after
// a crypto library initialised by someone else has freed its state.
std::array<std::uint8_t, 16> randomBytes() {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      break;
    }
  }
  if (filled < bytes.size()) {
    // Only a kernel without getrandom gets here; random_device reads the
    // same source another way.
    std::random_device device;
    for (auto& byte : bytes) {
      byte = static_cast<std::uint8_t>(device());
    }
  }
  return bytes;
}

}  // namespace

std::string makeUUIDString() {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::array<std::uint8_t, 16> bytes = randomBytes();
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant

  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      text += '-';
    }
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0f];
  }
  return text;
}

}  // namespace plexora::platform

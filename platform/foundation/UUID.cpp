#include "platform/foundation/UUID.h"

#include <openssl/rand.h>

#include "platform/foundation/CryptoLibrary.h"

#include <array>
#include <cstdint>
#include <random>

namespace plexora::platform {
namespace {

std::array<std::uint8_t, 16> randomBytes() {
  std::array<std::uint8_t, 16> bytes{};
  initialiseCryptoLibrary();
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    // The OpenSSL generator only fails when it cannot seed itself; the
    // kernel source behind random_device is the next best thing.
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

#include "platform/foundation/SHA1.h"

#include <openssl/evp.h>

#include <cstdlib>

#include "platform/foundation/CryptoLibrary.h"

namespace plexora::platform {

SHA1Digest sha1(ByteView bytes) {
  SHA1Digest digest{};
  unsigned int length = 0;
  initialiseCryptoLibrary();
  // EVP_Digest fails only when the allocator does or the provider is
  // missing; neither leaves a usable process, and a wrong digest would be
  // silently sent on, so give up loudly.
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha1(), nullptr) != 1 ||
      length != digest.size()) {
    std::abort();
  }
  return digest;
}

std::string sha1Hex(ByteView bytes) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const SHA1Digest digest = sha1(bytes);
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0f];
  }
  return hex;
}

}  // namespace plexora::platform

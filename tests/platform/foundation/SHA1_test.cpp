#include "platform/foundation/SHA1.h"

#include <gtest/gtest.h>

#include <string>

namespace plexora::platform {
namespace {

// FIPS 180 examples and the digest of an advertising identifier as the
// test-device hash takes it.
TEST(SHA1Test, HexDigestsOfKnownMessages) {
  const std::pair<std::string, const char*> vectors[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const auto& [message, hex] : vectors) {
    EXPECT_EQ(sha1Hex(asBytes(message)), hex) << message.substr(0, 20);
  }
}

TEST(SHA1Test, RawDigestMatchesTheHexText) {
  const SHA1Digest digest = sha1(asBytes("abc"));
  EXPECT_EQ(digest.front(), 0xa9);
  EXPECT_EQ(digest.back(), 0x9d);
}

}  // namespace
}  // namespace plexora::platform

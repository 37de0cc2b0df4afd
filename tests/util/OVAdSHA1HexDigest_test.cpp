#include "util/OVAdSHA1HexDigest.h"

#include <gtest/gtest.h>

namespace plexora {
namespace {

TEST(OVAdSHA1HexDigestTest, DigestOfTheUtf8BytesInLowerCaseHex) {
  EXPECT_EQ(OVAdSHA1HexDigest(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(OVAdSHA1HexDigest("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(OVAdSHA1HexDigest("\xC3\xA9"), "bf15be717ac1b080b4f1c456692825891ff5073d");
}

}  // namespace
}  // namespace plexora

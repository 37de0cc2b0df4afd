#include "platform/foundation/Base64.h"

#include <gtest/gtest.h>

namespace plexora::platform {
namespace {

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// RFC 4648, section 10.
TEST(Base64Test, EncodesAndDecodesTheStandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(asBytes(plain)), encoded);
    EXPECT_EQ(base64Decode(encoded), bytesOf(plain)) << encoded;
  }
}

TEST(Base64Test, RoundTripsEveryByteValue) {
  Bytes all;
  for (int i = 0; i < 256; ++i) {
    all.push_back(static_cast<std::uint8_t>(255 - i));
  }
  const std::string encoded = base64Encode(all);
  EXPECT_NE(encoded.find('+'), std::string::npos);
  EXPECT_NE(encoded.find('/'), std::string::npos);
  EXPECT_EQ(base64Decode(encoded), all);
}

TEST(Base64Test, DecodeRejectsGarbage) {
  const char* cases[] = {
      "Zg",        // missing padding
      "Zg=",       // short padding
      "Z===",      // too much padding
      "=Zg=",      // padding first
      "Zm=v",      // padding inside a group
      "Zg==Zg==",  // padding before the end
      "Zm9v\n",    // line break
      "Zm 9v",     // space
      "Zm9v!A==",  // outside the alphabet
      "Zm9-",      // URL-safe alphabet
  };
  for (const char* text : cases) {
    EXPECT_FALSE(base64Decode(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace plexora::platform

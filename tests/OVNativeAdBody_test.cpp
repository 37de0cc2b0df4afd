#include "OVNativeAdBody.h"

#include <gtest/gtest.h>

#include <string>

namespace plexora {
namespace {

// Words of `length` letters, one space apart, up to `total` characters.
std::string words(std::size_t length, std::size_t total) {
  std::string text;
  while (text.size() < total) {
    if (!text.empty()) text += ' ';
    text += std::string(length, 'w');
  }
  return text.substr(0, total);
}

TEST(OVNativeAdBodyTest, ABodyThatFitsComesBackUnchanged) {
  for (const std::string& body : {std::string(), words(9, 90), std::string(90, 'a')}) {
    EXPECT_EQ(OVNativeAdShortenedBody(body), body);
  }
}

TEST(OVNativeAdBodyTest, ALongerBodyIsCutAfterTheLastWordThatEndsBeforeTheLimit) {
  // Nine-letter words: each with its space takes ten characters.
  const std::string body = words(9, 91);
  EXPECT_EQ(OVNativeAdShortenedBody(body), words(9, 89) + "...");
  // Trailing spacing is trimmed.
  EXPECT_EQ(OVNativeAdShortenedBody("Hello   \n" + std::string(95, 'x')), "Hello...");
}

TEST(OVNativeAdBodyTest, AFirstWordLongerThanTheLimitGivesTheFirstNinetyCharacters) {
  EXPECT_EQ(OVNativeAdShortenedBody(std::string(200, 'z')), std::string(90, 'z') + "...");
}

TEST(OVNativeAdBodyTest, CharactersAreCountedNotBytes) {
  // 90 two-byte characters fit; 91 do not, and no character is split.
  std::string fits;
  for (int i = 0; i < 90; ++i) fits += "\xC3\xA9";
  EXPECT_EQ(OVNativeAdShortenedBody(fits), fits);
  EXPECT_EQ(OVNativeAdShortenedBody(fits + "\xC3\xA9"), fits + "...");
  // A stray byte counts as one character and is never read past.
  EXPECT_EQ(OVNativeAdShortenedBody(std::string(95, 'a') + "\xE2"), std::string(90, 'a') + "...");
}

}  // namespace
}  // namespace plexora

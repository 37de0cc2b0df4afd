#include "platform/foundation/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace plexora::platform {
namespace {

TEST(Utf8Test, AcceptsWellFormedTextOnly) {
  const struct {
    const char* name;
    std::string text;
    bool valid;
  } cases[] = {
      {"empty", "", true},
      {"ASCII", "plain", true},
      {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", true},
      {"highest code point", "\xf4\x8f\xbf\xbf", true},
      {"lone continuation byte", "a\x80", false},
      {"cut-off character", "\xe2\x82", false},
      {"overlong two bytes", "\xc0\xaf", false},
      {"overlong three bytes", "\xe0\x80\xaf", false},
      {"surrogate", "\xed\xa0\x80", false},
      {"above U+10FFFF", "\xf4\x90\x80\x80", false},
      {"invalid lead byte", "\xff", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(isValidUTF8(test.text), test.valid);
  }
}

TEST(Utf8Test, APrefixNeverCutsACharacterApart) {
  const std::string text = "ab\xe2\x82\xac\xf0\x9f\x98\x80";  // a b EURO SIGN GRINNING FACE
  const struct {
    std::size_t maxBytes;
    std::string expected;
  } cases[] = {
      {0, ""},
      {2, "ab"},
      {3, "ab"},
      {4, "ab"},
      {5, "ab\xe2\x82\xac"},
      {8, "ab\xe2\x82\xac"},
      {9, text},
      {100, text},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.maxBytes);
    EXPECT_EQ(utf8Prefix(text, test.maxBytes), test.expected);
    EXPECT_TRUE(isValidUTF8(utf8Prefix(text, test.maxBytes)));
  }
}

}  // namespace
}  // namespace plexora::platform

#include "platform/net/DataURL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace plexora::platform {
namespace {

TEST(DataURLTest, ReadsBase64AndPercentEncodedContentAndRefusesTheRest) {
  const struct {
    const char* url;
    std::optional<std::string> mediaType;  // nullopt: refused
    std::string bytes;
  } cases[] = {
      {"data:image/png;base64,iVBORw0KGgo=", "image/png", "\x89PNG\r\n\x1a\n"},
      {"DATA:text/html;charset=utf-8;BASE64,PGI+aGk8L2I+", "text/html;charset=utf-8", "<b>hi</b>"},
      // Base64 escaped once more inside the URL.
      {"data:;base64,PGI%2BaGk8L2I%2B", "text/plain;charset=US-ASCII", "<b>hi</b>"},
      {"data:,a%20b%FF%00c", "text/plain;charset=US-ASCII", std::string("a b\xff\0c", 6)},
      {"data:text/plain,", "text/plain", ""},
      {"data:image/png;base64", std::nullopt, ""},       // no comma
      {"data:image/png;base64,iVBORw0KGgo", std::nullopt, ""},  // unpadded
      {"data:image/png;base64,iVBO%RW0KGgo=", std::nullopt, ""},
      {"data:,100%", std::nullopt, ""},
      {"https://example.test/data:,x", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const std::optional<DataURLContents> contents = readDataURL(c.url);
    ASSERT_EQ(contents.has_value(), c.mediaType.has_value()) << c.url;
    if (!contents) continue;
    EXPECT_EQ(contents->mediaType, *c.mediaType) << c.url;
    EXPECT_EQ(std::string(contents->bytes.begin(), contents->bytes.end()), c.bytes) << c.url;
  }
  EXPECT_TRUE(isDataURL("Data:,x"));
  EXPECT_FALSE(isDataURL("dat:,x"));
}

}  // namespace
}  // namespace plexora::platform

#include "platform/foundation/URL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace plexora::platform {
namespace {

struct ParseCase {
  const char* text;
  const char* scheme;
  std::optional<std::string> user;
  std::optional<std::string> password;
  const char* host;
  std::optional<int> port;
  const char* path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

TEST(URLTest, ParsesComponentsAndKeepsTheTextAsWritten) {
  const ParseCase cases[] = {
      {"https://user:pw@ads.example.com:8443/a/b.html?x=1&y#frag", "https", "user", "pw", "ads.example.com", 8443,
       "/a/b.html", "x=1&y", "frag"},
      {"http://me@h/", "http", "me", std::nullopt, "h", std::nullopt, "/", std::nullopt, std::nullopt},
      {"http://[::1]:80/x", "http", std::nullopt, std::nullopt, "::1", 80, "/x", std::nullopt, std::nullopt},
      {"mailto:someone@example.com", "mailto", std::nullopt, std::nullopt, "", std::nullopt, "someone@example.com",
       std::nullopt, std::nullopt},
      {"http://h:/p", "http", std::nullopt, std::nullopt, "h", std::nullopt, "/p", std::nullopt, std::nullopt},
      {"http://h?#", "http", std::nullopt, std::nullopt, "h", std::nullopt, "", "", ""},
      {"file:///tmp/a%20b", "file", std::nullopt, std::nullopt, "", std::nullopt, "/tmp/a%20b", std::nullopt,
       std::nullopt},
      {"ovad://close?x=%7B%7D", "ovad", std::nullopt, std::nullopt, "close", std::nullopt, "", "x=%7B%7D",
       std::nullopt},
      {"https://h/a?b=c/d?e#f?g/h", "https", std::nullopt, std::nullopt, "h", std::nullopt, "/a", "b=c/d?e",
       "f?g/h"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<URL> url = URL::parse(c.text);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), c.text);
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->user(), c.user);
    EXPECT_EQ(url->password(), c.password);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->port(), c.port);
    EXPECT_EQ(url->path(), c.path);
    EXPECT_EQ(url->query(), c.query);
    EXPECT_EQ(url->fragment(), c.fragment);
  }
}

TEST(URLTest, RejectsInvalidText) {
  const char* cases[] = {
      "",
      "relative/path",
      "//host/only",
      "1http://x",
      "ht^tp://x",
      "://x",
      "http://exa mple.com/",
      "http://h/a b",
      "http://h/%zz",
      "http://h/%4",
      "http://h/%",
      "http://h:65536/",
      "http://h:8a/",
      "http://h:-1/",
      "http://[::1/",
      "http://[]/",
      "http://[::1]x/",
      "http://h/{macro}",
      "http://h/\xC3\xA9",
      "http://h/a\nb",
      "http://a@b@c/",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(URL::parse(text).has_value()) << text;
  }
}

struct ResolveCase {
  const char* relative;
  const char* expected;
};

// The base and the cases are those of RFC 3986, section 5.4.
TEST(URLTest, ResolvesReferencesAgainstABase) {
  const std::optional<URL> base = URL::parse("http://a/b/c/d;p?q");
  ASSERT_TRUE(base.has_value());
  const ResolveCase cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const ResolveCase& c : cases) {
    const std::optional<URL> resolved = URL::resolve(c.relative, *base);
    ASSERT_TRUE(resolved.has_value()) << c.relative;
    EXPECT_EQ(resolved->absoluteString(), c.expected) << c.relative;
  }
}

TEST(URLTest, ResolvesAgainstBasesWithoutPathOrAuthority) {
  const ResolveCase withEmptyPath[] = {
      {"network_ads_common/", "https://ads.example.com/network_ads_common/"},
      {"plxo_logging/", "https://ads.example.com/plxo_logging/"},
  };
  for (const char* baseText : {"https://ads.example.com/", "https://ads.example.com"}) {
    const std::optional<URL> base = URL::parse(baseText);
    ASSERT_TRUE(base.has_value());
    for (const ResolveCase& c : withEmptyPath) {
      const std::optional<URL> resolved = URL::resolve(c.relative, *base);
      ASSERT_TRUE(resolved.has_value()) << baseText << " + " << c.relative;
      EXPECT_EQ(resolved->absoluteString(), c.expected) << baseText << " + " << c.relative;
    }
  }

  // Without an authority, a path that came out starting with "//" must not
  // turn into a host when the result is read back.
  const std::optional<URL> opaque = URL::parse("foo:/a");
  ASSERT_TRUE(opaque.has_value());
  const std::optional<URL> resolved = URL::resolve("..//b", *opaque);
  ASSERT_TRUE(resolved.has_value());
  EXPECT_EQ(resolved->host(), "");
  EXPECT_EQ(resolved->absoluteString(), "foo:/.//b");
}

TEST(URLTest, ResolveRejectsAnInvalidReference) {
  const std::optional<URL> base = URL::parse("http://a/b");
  ASSERT_TRUE(base.has_value());
  for (const char* relative : {"a b", "%zz", "1x:y", "//h:port/"}) {
    EXPECT_FALSE(URL::resolve(relative, *base).has_value()) << relative;
  }
}

TEST(URLTest, FilePathsRoundTripThroughFileURLs) {
  const char* paths[] = {
      "/tmp/plain.txt",
      "/tmp/with space/and#hash?and%percent.mp4",
      "/caches/\303\274ber/[brackets];x=1@y",
      "/",
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    const std::optional<URL> url = URL::fromFilePath(path);
    ASSERT_TRUE(url.has_value());
    EXPECT_TRUE(url->isFileURL());
    EXPECT_TRUE(url->absoluteString().starts_with("file:///") || url->absoluteString() == "file:///");
    EXPECT_EQ(url->host(), "");
    EXPECT_FALSE(url->query().has_value());
    EXPECT_FALSE(url->fragment().has_value());
    EXPECT_EQ(url->filePath(), path);
  }
  EXPECT_EQ(URL::fromFilePath("/a b/c#d")->absoluteString(), "file:///a%20b/c%23d");
}

TEST(URLTest, FilePathsRejectWhatIsNoLocalPath) {
  EXPECT_FALSE(URL::fromFilePath("").has_value());
  EXPECT_FALSE(URL::fromFilePath("relative/file").has_value());
  EXPECT_FALSE(URL::fromFilePath(std::string_view("/a\0b", 4)).has_value());

  EXPECT_EQ(URL::parse("file://localhost/x/y")->filePath(), "/x/y");
  EXPECT_EQ(URL::parse("FILE:///x")->filePath(), "/x");
  EXPECT_FALSE(URL::parse("file://elsewhere/x")->filePath().has_value());
  EXPECT_FALSE(URL::parse("http://h/x")->filePath().has_value());
  EXPECT_FALSE(URL::parse("file:///a%00b")->filePath().has_value());
  EXPECT_FALSE(URL::parse("file:///a%FFb")->filePath().has_value());
  EXPECT_FALSE(URL::parse("http://h/x")->isFileURL());
}

TEST(URLTest, LastPathComponentAndExtension) {
  struct Case {
    const char* text;
    const char* lastComponent;
    const char* extension;
  };
  const Case cases[] = {
      {"http://h/a/b.tar.gz", "b.tar.gz", "gz"},
      {"http://h/a/dir/", "dir", ""},
      {"http://h/a/dir//", "dir", ""},
      {"http://h/", "/", ""},
      {"http://h", "", ""},
      {"http://h/.hidden", ".hidden", ""},
      {"http://h/name.", "name.", ""},
      {"http://h/a%20b.mp4?x=1.jpg#y.png", "a b.mp4", "mp4"},
      {"http://h/bad%FF.jpg", "bad%FF.jpg", "jpg"},
      {"mailto:x@y.org", "x@y.org", "org"},
  };
  for (const Case& c : cases) {
    const std::optional<URL> url = URL::parse(c.text);
    ASSERT_TRUE(url.has_value()) << c.text;
    EXPECT_EQ(url->lastPathComponent(), c.lastComponent) << c.text;
    EXPECT_EQ(url->pathExtension(), c.extension) << c.text;
  }
}

TEST(URLTest, PercentDecodeYieldsUTF8OrNothing) {
  struct Case {
    const char* encoded;
    std::optional<std::string> decoded;
  };
  const Case cases[] = {
      {"", ""},
      {"a%20b+c", "a b+c"},
      {"%C3%A9t%c3%a9", "\xC3\xA9t\xC3\xA9"},
      {"%2F%3F%23", "/?#"},
      {"%", std::nullopt},
      {"%4", std::nullopt},
      {"%zz", std::nullopt},
      {"%C3", std::nullopt},          // truncated sequence
      {"%C0%AF", std::nullopt},       // overlong "/"
      {"%ED%A0%80", std::nullopt},    // surrogate half
      {"%F4%90%80%80", std::nullopt}, // beyond U+10FFFF
      {"%80", std::nullopt},          // stray continuation byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(percentDecode(c.encoded), c.decoded) << c.encoded;
  }
}

}  // namespace
}  // namespace plexora::platform

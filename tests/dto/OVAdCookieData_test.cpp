// Conversion-tracking cookies: what a server cookie object becomes, and the
// page script that sets them, which no server text may break out of.
#include "dto/OVAdCookieData.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/value/Value.h"

namespace plexora {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

constexpr double kNow = 1700000000.0;

class OVAdCookieDataTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>(kNow);
  platform::ScopedClock scopedClock_{clock_};
};

TEST_F(OVAdCookieDataTest, ACompleteCookieObjectGivesALocalCookieOfTheURLsHostAndPath) {
  const auto data = OVAdCookieData::initWithMetadata(
      Value(Dictionary{{"url", "https://track.example.com/c?x=1"}, {"key", "conv"}, {"value", "abc"}}));
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->isLocalOnly());
  ASSERT_TRUE(data->cookie());
  EXPECT_EQ(data->cookie()->name, "conv");
  EXPECT_EQ(data->cookie()->value, "abc");
  EXPECT_EQ(data->cookie()->domain, "track.example.com");
  EXPECT_EQ(data->cookie()->path, "/c");
  EXPECT_EQ(data->cookie()->expiresDate, kNow + 2678400.0) << "31 days ahead without an expiration";
  EXPECT_FALSE(data->cookie()->secure);
  EXPECT_EQ(data->url().absoluteString(), "https://track.example.com/c?x=1");
}

TEST_F(OVAdCookieDataTest, TheServersExpirationAndAnEmptyPath) {
  const auto data = OVAdCookieData::initWithMetadata(Value(
      Dictionary{{"url", "https://example.com"}, {"key", "k"}, {"value", "v"}, {"expiration", 1800000000}}));
  ASSERT_TRUE(data && data->cookie());
  EXPECT_EQ(data->cookie()->path, "/");
  EXPECT_EQ(data->expiration(), 1800000000.0);
  EXPECT_EQ(data->cookie()->expiresDate, 1800000000.0);
}

TEST_F(OVAdCookieDataTest, WhatGivesCookieDataThatIsNotLocal) {
  const struct {
    const char* name;
    Dictionary metadata;
  } cases[] = {
      {"no key", {{"url", "https://example.com/c"}, {"value", "v"}}},
      {"no value", {{"url", "https://example.com/c"}, {"key", "k"}}},
      {"no host", {{"url", "mailto:someone"}, {"key", "k"}, {"value", "v"}}},
  };
  for (const auto& testCase : cases) {
    const auto data = OVAdCookieData::initWithMetadata(Value(testCase.metadata));
    ASSERT_TRUE(data) << testCase.name;
    EXPECT_FALSE(data->isLocalOnly()) << testCase.name;
    EXPECT_FALSE(data->cookie()) << testCase.name;
  }
}

TEST_F(OVAdCookieDataTest, WhatGivesNoCookieDataAtAll) {
  const struct {
    const char* name;
    Value metadata;
  } cases[] = {
      {"null", Value()},
      {"an array", Value(Array{"https://example.com"})},
      {"no url", Value(Dictionary{{"key", "k"}, {"value", "v"}})},
      {"a numeric url", Value(Dictionary{{"url", 42}, {"key", "k"}, {"value", "v"}})},
      {"no URL text", Value(Dictionary{{"url", "not a url"}, {"key", "k"}, {"value", "v"}})},
      {"a semicolon in the value", Value(Dictionary{{"url", "https://e.com"}, {"key", "k"}, {"value", "v; domain=x"}})},
      {"a newline in the name", Value(Dictionary{{"url", "https://e.com"}, {"key", "k\nx"}, {"value", "v"}})},
      {"an equals sign in the name", Value(Dictionary{{"url", "https://e.com"}, {"key", "k=x"}, {"value", "v"}})},
      {"an empty name", Value(Dictionary{{"url", "https://e.com"}, {"key", ""}, {"value", "v"}})},
  };
  for (const auto& testCase : cases) {
    EXPECT_FALSE(OVAdCookieData::initWithMetadata(testCase.metadata)) << testCase.name;
  }
}

TEST_F(OVAdCookieDataTest, ParsingAListSkipsWhatGivesNothingAndIgnoresNonArrays) {
  const auto cookies = OVAdCookieData::parseCookieData(Value(Array{
      Value(Dictionary{{"url", "https://a.com/"}, {"key", "a"}, {"value", "1"}}),
      Value("junk"),
      Value(Dictionary{{"url", "https://b.com/"}}),
  }));
  ASSERT_EQ(cookies.size(), 2U);
  EXPECT_EQ(cookies[0]->url().host(), "a.com");
  EXPECT_EQ(cookies[1]->url().host(), "b.com");
  EXPECT_TRUE(OVAdCookieData::parseCookieData(Value(Dictionary{{"url", "https://a.com/"}})).empty());
  EXPECT_TRUE(OVAdCookieData::parseCookieData(Value("https://a.com/")).empty());
}

TEST_F(OVAdCookieDataTest, ThePageScriptSetsEachLocalCookieInOrder) {
  const auto cookies = OVAdCookieData::parseCookieData(Value(Array{
      Value(Dictionary{{"url", "https://a.com/x"}, {"key", "a"}, {"value", "1"}, {"expiration", 1700000000}}),
      Value(Dictionary{{"url", "https://nolocal.com/"}}),
      Value(Dictionary{{"url", "https://b.com"}, {"key", "b"}, {"value", "2"}, {"expiration", 1704585600}}),
  }));
  EXPECT_EQ(OVAdCookieData::cookieStringForCookies(cookies),
            "document.cookie='a=1; domain=a.com; path=/x; expires=Tue, 14 Nov 2023 22:13:20 GMT; '; "
            "document.cookie='b=2; domain=b.com; path=/; expires=Sun, 7 Jan 2024 00:00:00 GMT; '; ");
  EXPECT_EQ(OVAdCookieData::cookieStringForCookies({}), "");
}

TEST_F(OVAdCookieDataTest, AnExpiryOutsideTheCalendarIsLeftOutOfTheScript) {
  const auto cookies = OVAdCookieData::parseCookieData(
      Value(Array{Value(Dictionary{{"url", "https://a.com/"}, {"key", "a"}, {"value", "1"}, {"expiration", 1e300}})}));
  EXPECT_EQ(OVAdCookieData::cookieStringForCookies(cookies), "document.cookie='a=1; domain=a.com; path=/; '; ");
}

TEST_F(OVAdCookieDataTest, ServerTextCannotLeaveTheScriptString) {
  const auto cookies = OVAdCookieData::parseCookieData(Value(Array{Value(Dictionary{
      {"url", "https://a.com/p'q"},
      {"key", "n'\"\\"},
      {"value", "</script><script>alert(1)</script>\xE2\x80\xA8\xE2\x80\xA9"},
      {"expiration", 1700000000},
  })}));
  EXPECT_EQ(OVAdCookieData::cookieStringForCookies(cookies),
            "document.cookie='n\\'\\\"\\\\=<\\/script><script>alert(1)<\\/script>\\u2028\\u2029; domain=a.com; "
            "path=/p\\'q; expires=Tue, 14 Nov 2023 22:13:20 GMT; '; ");
}

TEST(OVAdJavaScriptStringEscapeTest, EscapesWhatEndsAStringOrAScriptElement) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"plain text / 1", "plain text / 1"},
      {"it's", "it\\'s"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"a\\b", "a\\\\b"},
      {"line\nbreak\r\t", "line\\nbreak\\r\\t"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"bell\x07", "bell\\x07"},
      {"</SCRIPT>", "<\\/SCRIPT>"},
      {"\xE2\x80\xA8|\xE2\x80\xA9", "\\u2028|\\u2029"},
      {"\xE2\x80\xA7 stays", "\xE2\x80\xA7 stays"},
      {"", ""},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(OVAdJavaScriptStringEscape(testCase.text), testCase.escaped) << testCase.text;
  }
}

}  // namespace
}  // namespace plexora

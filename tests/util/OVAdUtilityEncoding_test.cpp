#include <gtest/gtest.h>

#include <string>

#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

TEST(OVAdUtilityEncodingTest, URLEncodingKeepsOnlyUnreservedBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a b&c/\xC3\xA9", "a+b%26c%2F%C3%A9"},
      {"-._~", "-._~"},
      {"AZaz09", "AZaz09"},
      {"*'", "%2A%27"},
      {"=?+%", "%3D%3F%2B%25"},
      {std::string("\x00\x7F\xFF", 3), "%00%7F%FF"},
      {"", ""},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ov_URLEncodedString(text), expected) << text;
  }
}

struct QueryCase {
  const char* name;
  Value parameters;
  std::string expected;
};

TEST(OVAdUtilityEncodingTest, ParameterDictionariesBecomeFormBodiesInTheirOrder) {
  const QueryCase cases[] = {
      {"array", Value(Dictionary{{"ids", Array{1, 2}}}), "ids%5B%5D=1&ids%5B%5D=2"},
      {"dictionary as JSON", Value(Dictionary{{"d", Dictionary{{"a", 1}}}}), "d=%7B%22a%22%3A1%7D"},
      {"null", Value(Dictionary{{"k", nullptr}}), "k=(null)"},
      {"nested array", Value(Dictionary{{"k", Array{Array{1}, "x"}}}), "k%5B%5D=(null)&k%5B%5D=x"},
      {"data", Value(Dictionary{{"k", platform::Bytes{1}}}), "k=(null)"},
      {"insertion order", Value(Dictionary{{"z", "1"}, {"a", 2.5}, {"m", true}}), "z=1&a=2.5&m=1"},
      {"empty array", Value(Dictionary{{"e", Array{}}, {"x", "y z"}}), "x=y+z"},
      {"key encoded", Value(Dictionary{{"a b", "c"}}), "a+b=c"},
      {"empty dictionary", Value(Dictionary{}), ""},
      {"no dictionary", Value("a=b"), ""},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(OVAdUtility::createQueryStringFromParameters(testCase.parameters), testCase.expected)
        << testCase.name;
  }
}

TEST(OVAdUtilityEncodingTest, ParseQueryKeepsOnlyPairsWithOneEqualsSign) {
  EXPECT_EQ(OVAdUtility::parseQuery("a=1&b&c=x%20y+z&d=1=2"), Value(Dictionary{{"a", "1"}, {"c", "x y z"}}));
}

TEST(OVAdUtilityEncodingTest, ParseQueryCases) {
  const std::pair<const char*, Value> cases[] = {
      {"", Value(Dictionary{})},
      {"k=%ZZ&ok=1", Value(Dictionary{{"ok", "1"}})},          // a bad escape drops its pair
      {"k=%FF&ok=1", Value(Dictionary{{"ok", "1"}})},          // so does a value that is no UTF-8
      {"k=%E2%82%AC", Value(Dictionary{{"k", "\xE2\x82\xAC"}})},
      {"a%20b=1", Value(Dictionary{{"a%20b", "1"}})},          // keys are not decoded
      {"a=&=b", Value(Dictionary{{"a", ""}, {"", "b"}})},
      {"a=1&a=2", Value(Dictionary{{"a", "2"}})},
      {"&&a=1&", Value(Dictionary{{"a", "1"}})},
  };
  for (const auto& [query, expected] : cases) {
    EXPECT_EQ(OVAdUtility::parseQuery(query), expected) << query;
  }
}

TEST(OVAdUtilityEncodingTest, ParseQueryStringReadsTheURLsQuery) {
  const auto withQuery = platform::URL::parse("https://ads.example.com/path?a=1&b=two#frag");
  ASSERT_TRUE(withQuery);
  EXPECT_EQ(OVAdUtility::parseQueryString(*withQuery), Value(Dictionary{{"a", "1"}, {"b", "two"}}));
  const auto withoutQuery = platform::URL::parse("https://ads.example.com/path");
  ASSERT_TRUE(withoutQuery);
  EXPECT_EQ(OVAdUtility::parseQueryString(*withoutQuery), Value(Dictionary{}));
}

TEST(OVAdUtilityEncodingTest, AFormBodyParsesBackToItsParameters) {
  const Value parameters(Dictionary{{"placement", "123_456"}, {"text", "a b&c=d/\xC3\xA9"}, {"n", 7}});
  EXPECT_EQ(OVAdUtility::parseQuery(OVAdUtility::createQueryStringFromParameters(parameters)),
            Value(Dictionary{{"placement", "123_456"}, {"text", "a b&c=d/\xC3\xA9"}, {"n", "7"}}));
}

}  // namespace
}  // namespace plexora

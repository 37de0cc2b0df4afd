#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/value/Value.h"

namespace plexora::platform {
namespace {

std::string nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonTest, ParsesKindsAndKeepsKeyOrder) {
  const auto parsed = parseJSON(R"({"z":1,"a":-2.5,"m":[true,false,null],"s":"x","o":{"k":"v"}})");
  ASSERT_TRUE(parsed);
  const Value expected = Dictionary{
      {"z", 1}, {"a", -2.5}, {"m", Array{true, false, nullptr}}, {"s", "x"}, {"o", Dictionary{{"k", "v"}}}};
  EXPECT_EQ(*parsed, expected);

  std::vector<std::string> keys;
  for (const auto& [key, value] : parsed->asDictionary()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"z", "a", "m", "s", "o"}));
}

TEST(JsonTest, Numbers) {
  struct Case {
    const char* text;
    Value value;
  };
  const Case cases[] = {
      {"0", Value(0)},
      {"-17", Value(-17)},
      {"9223372036854775807", Value(std::numeric_limits<int64_t>::max())},
      {"-9223372036854775808", Value(std::numeric_limits<int64_t>::min())},
      {"9223372036854775808", Value(9223372036854775808.0)},
      {"18446744073709551616", Value(18446744073709551616.0)},
      {"1.0", Value(1.0)},
      {"0.1", Value(0.1)},
      {"-0.0", Value(-0.0)},
      {"1e3", Value(1000.0)},
      {"2.5E-3", Value(0.0025)},
  };
  for (const Case& c : cases) {
    const auto parsed = parseJSON(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(*parsed, c.value) << c.text;
    EXPECT_EQ(parsed->kind(), c.value.kind()) << c.text;
  }
}

TEST(JsonTest, FragmentsAreAccepted) {
  EXPECT_EQ(parseJSON(R"("a")"), Value("a"));
  EXPECT_EQ(parseJSON("5"), Value(5));
  EXPECT_EQ(parseJSON(" true "), Value(true));
  EXPECT_EQ(parseJSON("null"), Value());
  EXPECT_EQ(parseJSON("\xEF\xBB\xBF[1]"), Value(Array{1}));  // a leading byte-order mark is skipped
}

TEST(JsonTest, UnicodeAndEscapes) {
  const auto parsed = parseJSON(R"(["\u00e9\ud83d\ude00","é😀","a\"b\\c\/d\n\t"])");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->at(0)->asString(), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(parsed->at(1)->asString(), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(parsed->at(2)->asString(), "a\"b\\c/d\n\t");
  EXPECT_EQ(parseJSON(R"("a\u0000b")"), Value(std::string("a\0b", 3)));  // an escaped NUL is fine
  // Writing and reading again gives the same strings.
  EXPECT_EQ(parseJSON(*toJSON(*parsed)), parsed);
}

TEST(JsonTest, MalformedInputGivesNone) {
  const std::string cases[] = {
      "",
      "   ",
      "{",
      R"({"a":)",
      R"({"a":1)",
      "[1,2",
      R"("unterminated)",
      "[1,2,]",
      R"({"a":1,})",
      R"({a:1})",
      R"({'a':1})",
      "[1 2]",
      "{} {}",
      "1 2",
      "tru",
      "nul",
      "01",
      "1.",
      ".5",
      "+1",
      "NaN",
      "Infinity",
      "1e400",
      "// comment\n1",
      "\"tab\there\"",
      R"("\x41")",
      R"("\ud800")",
      std::string("\"\xC3\"", 3),          // truncated sequence
      std::string("\"\xFF\"", 3),          // never valid
      std::string("\"\xC0\xAF\"", 4),      // overlong "/"
      std::string("\"\xED\xA0\x80\"", 5),  // encoded surrogate
      std::string("[1]\0", 4),
      std::string("[1\0]", 4),
      std::string("\0", 1),
  };
  for (const std::string& text : cases) EXPECT_EQ(parseJSON(text), std::nullopt) << text;
}

TEST(JsonTest, DepthLimitIsInclusive) {
  EXPECT_TRUE(parseJSON(nested(kMaxNesting)));
  EXPECT_FALSE(parseJSON(nested(kMaxNesting + 1)));
  EXPECT_FALSE(parseJSON(nested(100000)));  // hostile depth must not exhaust the stack
  std::string objects;
  for (int i = 0; i < 600; ++i) objects += R"({"k":)";
  objects += "1" + std::string(600, '}');
  EXPECT_FALSE(parseJSON(objects));
}

TEST(JsonTest, WritingIsBoundedLikeReading) {
  Value value = 1;
  for (size_t i = 0; i < kMaxNesting; ++i) value = Array{value};
  const auto text = toJSON(value);
  ASSERT_TRUE(text);
  EXPECT_EQ(parseJSON(*text), value);
  EXPECT_EQ(toJSON(Value(Array{value})), std::nullopt);
}

TEST(JsonTest, RepeatedKeyKeepsLastValue) {
  EXPECT_EQ(parseJSON(R"({"a":1,"b":2,"a":3})"), Value(Dictionary{{"a", 3}, {"b", 2}}));
}

TEST(JsonTest, WritesCompactText) {
  struct Case {
    Value value;
    const char* json;
  };
  const Case cases[] = {
      {Value(Dictionary{{"b", 1}, {"a", Array{true, nullptr, "x"}}}), R"({"b":1,"a":[true,null,"x"]})"},
      {Value(Dictionary{}), "{}"},
      {Value(Array{}), "[]"},
      {Value("a\"b\n"), R"("a\"b\n")"},
      {Value(-3), "-3"},
      {Value(0.1), "0.1"},
      {Value(1.0), "1.0"},  // stays a double when read back
      {Value(false), "false"},
      {Value(), "null"},
  };
  for (const Case& c : cases) EXPECT_EQ(toJSON(c.value), c.json) << c.json;
}

TEST(JsonTest, UnrepresentableValuesGiveNone) {
  const Value cases[] = {
      Value(Bytes{1, 2}),
      Value(std::nan("")),
      Value(std::numeric_limits<double>::infinity()),
      Value(Dictionary{{"ok", 1}, {"bad", Array{Bytes{}}}}),
      Value(std::string("\xFF")),
      Value(Dictionary{{std::string("\xC3"), 1}}),
  };
  for (const Value& value : cases) EXPECT_EQ(toJSON(value), std::nullopt);
}

TEST(JsonTest, RoundTripKeepsKindsAndOrder) {
  const Value original = Dictionary{
      {"int", 12}, {"neg", -5}, {"double", 2.5}, {"whole", 3.0}, {"big", std::numeric_limits<int64_t>::max()},
      {"flag", true}, {"none", nullptr}, {"text", "h\xC3\xA9llo"}, {"list", Array{1, Array{}, Dictionary{}}}};
  const auto text = toJSON(original);
  ASSERT_TRUE(text);
  const auto back = parseJSON(*text);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, original);
  EXPECT_EQ(toJSON(*back), text);  // same key order
}

}  // namespace
}  // namespace plexora::platform

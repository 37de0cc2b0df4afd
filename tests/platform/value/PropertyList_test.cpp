#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/value/Value.h"

namespace plexora::platform {
namespace {

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes xmlPlist(std::string_view body) {
  return bytesOf(std::string(R"(<?xml version="1.0" encoding="UTF-8"?>)"
                             R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" )"
                             R"("http://www.apple.com/DTDs/PropertyList-1.0.dtd">)"
                             "<plist version=\"1.0\">") +
                 std::string(body) + "</plist>");
}

std::vector<std::string> keysOf(const Value& value) {
  std::vector<std::string> keys;
  for (const auto& [key, element] : value.asDictionary()) keys.push_back(key);
  return keys;
}

TEST(PropertyListTest, BinaryRoundTripKeepsKindsAndOrder) {
  const Value original = Dictionary{
      {"zeta", 1},
      {"neg", -5},
      {"min", std::numeric_limits<int64_t>::min()},
      {"max", std::numeric_limits<int64_t>::max()},
      {"real", 0.1},
      {"whole", 2.0},
      {"yes", true},
      {"no", false},
      {"text", "h\xC3\xA9llo \xF0\x9F\x98\x80"},
      {"empty", ""},
      {"data", Bytes{0, 1, 0xFF}},
      {"noData", Bytes{}},
      {"list", Array{1, "two", Array{}, Dictionary{}}},
      {"nested", Dictionary{{"b", 1}, {"a", 2}}},
  };
  const auto binary = toBinaryPropertyList(original);
  ASSERT_TRUE(binary);
  EXPECT_EQ(std::string(binary->begin(), binary->begin() + 8), "bplist00");

  const auto back = parsePropertyList(*binary);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, original);
  EXPECT_EQ(keysOf(*back), keysOf(original));
  EXPECT_EQ(keysOf(*back->find("nested")), (std::vector<std::string>{"b", "a"}));
}

TEST(PropertyListTest, TopLevelScalarsRoundTrip) {
  for (const Value& value : {Value(7), Value("s"), Value(1.5), Value(true), Value(Bytes{9})}) {
    const auto binary = toBinaryPropertyList(value);
    ASSERT_TRUE(binary);
    EXPECT_EQ(parsePropertyList(*binary), value);
  }
}

TEST(PropertyListTest, ValuesTheFormatCannotCarryGiveNone) {
  const Value cases[] = {
      Value(),
      Value(Dictionary{{"a", 1}, {"gap", nullptr}}),
      Value(Array{1, Array{nullptr}}),
      Value(std::string("a\0b", 3)),  // would be cut at the NUL
      Value(std::string("\xFF")),
      Value(Dictionary{{std::string("k\0", 2), 1}}),
  };
  for (const Value& value : cases) EXPECT_EQ(toBinaryPropertyList(value), std::nullopt);
}

TEST(PropertyListTest, ReadsXml) {
  const auto parsed = parsePropertyList(xmlPlist(
      "<dict><key>b</key><integer>-3</integer><key>a</key><real>2.5</real>"
      "<key>t</key><true/><key>s</key><string>x &amp; y</string>"
      "<key>d</key><data>AAH/</data><key>l</key><array><integer>1</integer></array>"
      "<key>when</key><date>2001-01-01T00:01:00Z</date></dict>"));
  ASSERT_TRUE(parsed);
  const Value expected = Dictionary{{"b", -3},         {"a", 2.5},          {"t", true},   {"s", "x & y"},
                                    {"d", Bytes{0, 1, 0xFF}}, {"l", Array{1}}, {"when", 60.0}};
  EXPECT_EQ(*parsed, expected);
  EXPECT_EQ(keysOf(*parsed), (std::vector<std::string>{"b", "a", "t", "s", "d", "l", "when"}));
}

TEST(PropertyListTest, MalformedInputGivesNone) {
  const Bytes valid = *toBinaryPropertyList(Value(Dictionary{{"key", Array{1, "two"}}}));
  const Bytes cases[] = {
      {},
      bytesOf("garbage"),
      bytesOf("bplist00"),
      Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(valid.size() / 2)),
      Bytes(valid.begin(), valid.end() - 1),
      bytesOf(R"({"json":1})"),
      xmlPlist("<dict><integer>1</integer><integer>2</integer></dict>"),
      xmlPlist("<dict><string>not a key</string><integer>1</integer></dict>"),
      xmlPlist("<dict><key>a</key><key>b</key><integer>1</integer></dict>"),
      xmlPlist("<array><integer>1</integer>"),
      xmlPlist("<unknown/>"),
      xmlPlist("<string>\xFF</string>"),
      bytesOf("<plist><string>unclosed"),
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(parsePropertyList(cases[i]), std::nullopt) << "case " << i;
}

Value nestedArrays(size_t depth) {
  Value value = 1;
  for (size_t i = 0; i < depth; ++i) value = Array{value};
  return value;
}

TEST(PropertyListTest, NestingIsBoundedBothWays) {
  const auto xml = [](size_t depth) {
    std::string body;
    for (size_t i = 0; i < depth; ++i) body += "<array>";
    body += "<integer>1</integer>";
    for (size_t i = 0; i < depth; ++i) body += "</array>";
    return xmlPlist(body);
  };
  EXPECT_EQ(parsePropertyList(xml(kMaxNesting)), nestedArrays(kMaxNesting));
  EXPECT_EQ(parsePropertyList(xml(kMaxNesting + 1)), std::nullopt);
  // libplist would read this much and then overflow the stack freeing it.
  EXPECT_EQ(parsePropertyList(xml(200000)), std::nullopt);

  const auto binary = toBinaryPropertyList(nestedArrays(kMaxNesting));
  ASSERT_TRUE(binary);
  EXPECT_EQ(parsePropertyList(*binary), nestedArrays(kMaxNesting));
  EXPECT_EQ(toBinaryPropertyList(nestedArrays(kMaxNesting + 1)), std::nullopt);
}

TEST(PropertyListTest, CorruptedBinaryNeverCrashes) {
  const Bytes valid = *toBinaryPropertyList(
      Value(Dictionary{{"key", Array{1, "two", 3.5, Bytes{1, 2}}}, {"other", Dictionary{{"x", true}}}}));
  // Flip every byte in turn; any answer is fine as long as nothing breaks.
  for (size_t i = 0; i < valid.size(); ++i) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      Bytes corrupted = valid;
      corrupted[i] ^= flip;
      (void)parsePropertyList(corrupted);
    }
  }
}

}  // namespace
}  // namespace plexora::platform

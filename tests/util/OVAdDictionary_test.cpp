#include "util/OVAdDictionary.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace plexora {
namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

// A server answer with every kind of value the typed accessors meet.
Value serverFields() {
  return Value(Dictionary{
      {"number", 42},
      {"fraction", 4.7},
      {"flag", true},
      {"numeric text", "42"},
      {"fraction text", "4.7"},
      {"padded text", " 42 "},
      {"word", "abc"},
      {"empty", ""},
      {"yes", "YES"},
      {"zero text", "0"},
      {"null", nullptr},
      {"object", Dictionary{{"a", 1}}},
      {"list", Array{1, 2}},
  });
}

struct StringCase {
  const char* key;
  std::optional<std::string> expected;
};

TEST(OVAdDictionaryTest, StringAccessTurnsNumbersIntoTextAndNothingElse) {
  const Value fields = serverFields();
  const StringCase cases[] = {
      {"number", "42"},   {"fraction", "4.7"}, {"flag", "1"},         {"word", "abc"},
      {"null", std::nullopt}, {"missing", std::nullopt}, {"object", std::nullopt}, {"list", std::nullopt},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(stringForKeyOrNil(fields, testCase.key), testCase.expected) << testCase.key;
    EXPECT_EQ(stringForKey(fields, testCase.key, "default"), testCase.expected.value_or("default")) << testCase.key;
  }
}

struct IntegerCase {
  const char* key;
  std::int64_t expected;
};

TEST(OVAdDictionaryTest, IntegerAccessReadsNumericTextAndFallsBackToTheDefault) {
  const Value fields = serverFields();
  const IntegerCase cases[] = {
      {"number", 42}, {"numeric text", 42}, {"padded text", 42}, {"fraction", 4}, {"fraction text", 4},
      {"flag", 1},    {"word", -1},         {"empty", -1},       {"null", -1},    {"missing", -1},
      {"object", -1}, {"list", -1},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(integerForKey(fields, testCase.key, -1), testCase.expected) << testCase.key;
  }
  EXPECT_EQ(numberForKeyOrNil(fields, "numeric text"), Value(42));
  EXPECT_EQ(numberForKeyOrNil(fields, "word"), std::nullopt);
  EXPECT_DOUBLE_EQ(doubleForKey(fields, "fraction text", 0.0), 4.7);
  EXPECT_DOUBLE_EQ(doubleForKey(fields, "object", 2.5), 2.5);
}

TEST(OVAdDictionaryTest, UnsignedAccessKeepsValuesBeyondTheSignedRange) {
  const Value fields(Dictionary{{"large", 1.8e19}, {"small", 7}});
  EXPECT_EQ(unsignedIntegerForKey(fields, "large", 0), 18000000000000000000ULL);
  EXPECT_EQ(unsignedIntegerForKey(fields, "small", 0), 7U);
  EXPECT_EQ(unsignedIntegerForKey(fields, "missing", 9), 9U);
}

struct BoolCase {
  const char* key;
  bool defaultValue;
  bool expected;
};

TEST(OVAdDictionaryTest, BoolAccessLetStoredTextOverrideTheDefault) {
  const Value fields = serverFields();
  const BoolCase cases[] = {
      {"empty", true, false},  // text decides even against the default
      {"missing", true, true},  {"null", true, true},       {"yes", false, true},    {"zero text", true, false},
      {"number", false, true},  {"flag", false, true},      {"object", true, true},  {"list", false, false},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(boolForKey(fields, testCase.key, testCase.defaultValue), testCase.expected) << testCase.key;
  }
}

TEST(OVAdDictionaryTest, ContainersAreNeverRecoveredFromOtherKinds) {
  const Value fields = serverFields();
  EXPECT_EQ(dictionaryForKeyOrNil(fields, "object"), Value(Dictionary{{"a", 1}}));
  EXPECT_EQ(dictionaryForKeyOrNil(fields, "list"), std::nullopt);
  EXPECT_EQ(dictionaryForKeyOrNil(fields, "word"), std::nullopt);
  EXPECT_EQ(arrayForKeyOrNil(fields, "list"), Value(Array{1, 2}));
  EXPECT_EQ(arrayForKeyOrNil(fields, "object"), std::nullopt);
  EXPECT_EQ(arrayForKey(fields, "null", Value(Array{})), Value(Array{}));
}

TEST(OVAdDictionaryTest, ObjectAccessTreatsNullAsMissing) {
  const Value fields = serverFields();
  EXPECT_EQ(objectForKeyOrNil(fields, "null"), std::nullopt);
  EXPECT_EQ(objectForKey(fields, "null", Value("fallback")), Value("fallback"));
  EXPECT_EQ(objectForKeyOrNil(fields, "list"), Value(Array{1, 2}));
  EXPECT_EQ(objectForKeyOrNil(fields, "number", OVAdValueClass::String), Value("42"));
  EXPECT_EQ(objectForKey(fields, "list", OVAdValueClass::Dictionary, Value(7)), Value(7));
}

TEST(OVAdDictionaryTest, AValueThatIsNoDictionaryHoldsNothing) {
  for (const Value& notADictionary : {Value(), Value("text"), Value(Array{Dictionary{{"a", 1}}})}) {
    EXPECT_EQ(objectForKeyOrNil(notADictionary, "a"), std::nullopt);
    EXPECT_EQ(integerForKey(notADictionary, "a", 3), 3);
  }
}

TEST(OVAdDictionaryTest, SafeNumberFromStringReadsOnlyDecimalNumbers) {
  const std::pair<Value, std::optional<Value>> cases[] = {
      {Value("42"), Value(42)},    {Value("-7"), Value(-7)},   {Value("4.5"), Value(4.5)},
      {Value(" 1"), Value(1)},     {Value("abc"), std::nullopt}, {Value(""), std::nullopt},
      {Value("12abc"), std::nullopt}, {Value(3), Value(3)},      {Value(true), Value(true)},
      {Value(), std::nullopt},     {Value(Array{1}), std::nullopt},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(safeNumberFromString(input), expected);
  }
}

TEST(OVAdDictionaryTest, ObjectAtIndexStopsAtTheCount) {
  const Value list(Array{"a", "b"});
  EXPECT_EQ(objectAtIndexOrNil(list, 1), Value("b"));
  EXPECT_EQ(objectAtIndexOrNil(list, 2), std::nullopt);
  EXPECT_EQ(objectAtIndexOrNil(Value(Dictionary{}), 0), std::nullopt);
}

TEST(OVAdDictionaryTest, ContainsStringFindsNoEmptyText) {
  EXPECT_TRUE(ov_containsString("number = 5", "num"));
  EXPECT_FALSE(ov_containsString("name", "num"));
  EXPECT_FALSE(ov_containsString("name", ""));
}

}  // namespace
}  // namespace plexora

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "plexora/OVAdSettings.h"
#include "util/SettingsTestEnvironment.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::Array;
using platform::Bytes;
using platform::Dictionary;
using platform::Value;

TEST(OVAdUtilityConversionTest, JSONTextReadsIntoValuesAndFragmentsAreAllowed) {
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString(R"({"b":[1,"x"],"a":null})"),
            Value(Dictionary{{"b", Array{1, "x"}}, {"a", nullptr}}));
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString("5"), Value(5));
  EXPECT_EQ(OVAdUtility::getObjectFromJSONString("\"s\""), Value("s"));
}

TEST(OVAdUtilityConversionTest, TextThatIsNoJSONGivesNoneWithoutALine) {
  testing::SettingsTestEnvironment environment;
  OVAdSettings::setLogLevel(6);
  for (const char* text : {"", "{", "{\"a\":1,}", "not json", "\xFF"}) {
    EXPECT_EQ(OVAdUtility::getObjectFromJSONString(text), std::nullopt) << text;
  }
  EXPECT_EQ(environment.count("Attempted to convert"), 0U);
}

TEST(OVAdUtilityConversionTest, ValuesWriteAsCompactJSON) {
  EXPECT_EQ(OVAdUtility::getJSONStringFromObject(Value(Dictionary{{"z", 1}, {"a", Array{true, "x"}}})),
            R"({"z":1,"a":[true,"x"]})");
}

TEST(OVAdUtilityConversionTest, AnObjectJSONCannotHoldGivesNoneAndADebugLine) {
  testing::SettingsTestEnvironment environment;
  OVAdSettings::setLogLevel(5);
  EXPECT_EQ(OVAdUtility::getJSONStringFromObject(Value(Dictionary{{"blob", Bytes{0xAB, 0x01}}})), std::nullopt);
  EXPECT_EQ(environment.count("<debug>] Attempted to convert invalid object {blob = <ab01>; } to JSON"), 1U);
}

TEST(OVAdUtilityConversionTest, PropertyListsRoundTripAndRefuseWhatTheyCannotHold) {
  const Value configuration(Dictionary{{"enabled", true}, {"limit", 20}, {"name", "x"}, {"list", Array{1.5}}});
  const auto data = OVAdUtility::getPropertyListFromObject(configuration);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->begin() + 8), "bplist00");
  EXPECT_EQ(OVAdUtility::getObjectFromPropertyList(*data), configuration);

  EXPECT_EQ(OVAdUtility::getPropertyListFromObject(Value(Dictionary{{"gap", nullptr}})), std::nullopt);
  const Bytes garbage{'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xFF, 0x00};
  EXPECT_EQ(OVAdUtility::getObjectFromPropertyList(garbage), std::nullopt);
  EXPECT_EQ(OVAdUtility::getObjectFromPropertyList(Bytes{}), std::nullopt);
}

struct RecoveryCase {
  const char* name;
  Value object;
  OVAdValueClass wanted;
  std::optional<Value> expected;
};

TEST(OVAdUtilityConversionTest, RecoveryFollowsTheValueTextRules) {
  const RecoveryCase cases[] = {
      {"null", Value(), OVAdValueClass::String, std::nullopt},
      {"number as text", Value(42), OVAdValueClass::String, Value("42")},
      {"true as text", Value(true), OVAdValueClass::String, Value("1")},
      {"double as text", Value(0.1), OVAdValueClass::String, Value("0.1")},
      {"text as number", Value("42"), OVAdValueClass::Number, Value(42)},
      {"word as number", Value("abc"), OVAdValueClass::Number, std::nullopt},
      {"text as text", Value("x"), OVAdValueClass::String, Value("x")},
      {"number as number", Value(5), OVAdValueClass::Number, Value(5)},
      {"dictionary as text", Value(Dictionary{{"a", 1}}), OVAdValueClass::String, Value(R"({"a":1})")},
      {"unwritable dictionary as text", Value(Dictionary{{"a", Bytes{1}}}), OVAdValueClass::String, Value("")},
      {"array as text", Value(Array{1}), OVAdValueClass::String, std::nullopt},
      {"array as array", Value(Array{1}), OVAdValueClass::Array, Value(Array{1})},
      {"text as dictionary", Value("{}"), OVAdValueClass::Dictionary, std::nullopt},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(OVAdUtility::attemptRecoveryOfObject(testCase.object, testCase.wanted), testCase.expected)
        << testCase.name;
  }
}

TEST(OVAdUtilityConversionTest, OnlyANonEmptyStringIsNotEmpty) {
  EXPECT_TRUE(OVAdUtility::isStringEmpty(Value()));
  EXPECT_TRUE(OVAdUtility::isStringEmpty(Value("")));
  EXPECT_TRUE(OVAdUtility::isStringEmpty(Value(5)));
  EXPECT_FALSE(OVAdUtility::isStringEmpty(Value(" ")));
}

TEST(OVAdUtilityConversionTest, ColorComponentsComeFromTheirBytes) {
  EXPECT_EQ(colorWithInteger(0x80FF0000), (OVAdColor{.red = 1.0, .green = 0.0, .blue = 0.0, .alpha = 128 / 255.0}));
  EXPECT_EQ(colorWithInteger(0xFF336699),
            (OVAdColor{.red = 0x33 / 255.0, .green = 0x66 / 255.0, .blue = 0x99 / 255.0, .alpha = 1.0}));
  EXPECT_EQ(colorWithInteger(0), OVAdColor{});
}

}  // namespace
}  // namespace plexora

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/value/Value.h"

namespace plexora::platform {
namespace {

TEST(NumberTextTest, Doubles) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {3.0, "3"},
      {1.0, "1"},
      {-2.0, "-2"},
      {0.0, "0"},
      {0.1, "0.1"},
      {-4.25, "-4.25"},
      {1.0 / 3.0, "0.3333333333333333"},
      {123456789012.0, "123456789012"},
      {1.7e9, "1700000000"},
      {1e20, "100000000000000000000"},
      {1e22, "1e+22"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::nan(""), "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(numberText(c.value), c.text);
}

TEST(NumberTextTest, DoubleTextReadsBackExactly) {
  for (double value : {0.1, 0.7, 1.0 / 3.0, 2.5e-8, 98765.4321, 1.7976931348623157e308}) {
    EXPECT_EQ(std::stod(numberText(value)), value) << numberText(value);
  }
}

TEST(NumberTextTest, Integers) {
  EXPECT_EQ(numberText(int64_t{0}), "0");
  EXPECT_EQ(numberText(int64_t{-42}), "-42");
  EXPECT_EQ(numberText(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(numberText(std::numeric_limits<int64_t>::max()), "9223372036854775807");
}

TEST(ParseNumberTest, Table) {
  struct Case {
    const char* text;
    std::optional<Value> number;
  };
  const Case cases[] = {
      {"42", Value(42)},
      {"+42", Value(42)},
      {"-7", Value(-7)},
      {"007", Value(7)},
      {"-0", Value(0)},
      {"4.5", Value(4.5)},
      {"-4.5", Value(-4.5)},
      {"4.0", Value(4.0)},
      {".5", Value(0.5)},
      {"3.", Value(3.0)},
      {"9223372036854775807", Value(std::numeric_limits<int64_t>::max())},
      {"-9223372036854775808", Value(std::numeric_limits<int64_t>::min())},
      {"9223372036854775808", Value(9223372036854775808.0)},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"42abc", std::nullopt},
      {" 42", std::nullopt},
      {"42 ", std::nullopt},
      {"-", std::nullopt},
      {".", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1e5", std::nullopt},
      {"--1", std::nullopt},
      {"0x10", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseNumber(c.text), c.number) << '"' << c.text << '"';
}

TEST(TextBoolValueTest, Table) {
  struct Case {
    const char* text;
    bool value;
  };
  const Case cases[] = {
      {"YES", true},   {"yes", true},  {"true", true},    {"T", true},    {"1", true},
      {"  9x", true},  {"+1", true},   {"-1", true},      {"0001", true}, {"000", false},
      {"", false},     {"NO", false},  {"false", false},  {"0", false},   {"n", false},
      {"  ", false},   {"x1", false},  {"--1", false},    {"0.5", false},
  };
  for (const Case& c : cases) EXPECT_EQ(textBoolValue(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace plexora::platform

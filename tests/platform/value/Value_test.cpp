#include "platform/value/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace plexora::platform {
namespace {

std::vector<std::string> keysOf(const Dictionary& dictionary) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : dictionary) keys.push_back(key);
  return keys;
}

TEST(ValueTest, LiteralsPickTheirKind) {
  EXPECT_TRUE(Value().isNull());
  EXPECT_TRUE(Value(nullptr).isNull());
  EXPECT_TRUE(Value(true).isBool());
  EXPECT_TRUE(Value(7).isInteger());
  EXPECT_TRUE(Value(uint32_t{7}).isInteger());
  EXPECT_TRUE(Value(int64_t{-7}).isInteger());
  EXPECT_TRUE(Value(2.5).isDouble());
  EXPECT_TRUE(Value("text").isString());  // not the pointer-to-bool conversion
  EXPECT_TRUE(Value(static_cast<const char*>(nullptr)).isNull());
  EXPECT_TRUE(Value(std::string_view("text")).isString());
  EXPECT_TRUE(Value(Bytes{1, 2}).isData());
  EXPECT_TRUE(Value(Array{1, "a"}).isArray());
  EXPECT_TRUE(Value(Dictionary{{"a", 1}}).isDictionary());
}

TEST(ValueTest, UnsignedAboveInt64BecomesDouble) {
  const Value huge(std::numeric_limits<uint64_t>::max());
  ASSERT_TRUE(huge.isDouble());
  EXPECT_DOUBLE_EQ(huge.asDouble(), 18446744073709551615.0);
  EXPECT_TRUE(Value(uint64_t{1} << 62).isInteger());
}

TEST(ValueTest, WrongKindGettersGiveEmptyDefaults) {
  const Value number(42);
  EXPECT_EQ(number.asString(), "");
  EXPECT_TRUE(number.asData().empty());
  EXPECT_TRUE(number.asArray().empty());
  EXPECT_TRUE(number.asDictionary().empty());
  EXPECT_FALSE(number.asBool());
  EXPECT_EQ(number.asDouble(), 0.0);
  EXPECT_EQ(Value("42").asInteger(), 0);
  EXPECT_EQ(number.find("a"), nullptr);
  EXPECT_EQ(number.at(0), nullptr);
  EXPECT_FALSE(Value("s").erase("s"));
}

TEST(ValueTest, NumbersConvertAcrossKinds) {
  EXPECT_TRUE(Value(true).isNumber());
  EXPECT_TRUE(Value(1.5).isNumber());
  EXPECT_FALSE(Value("1").isNumber());
  EXPECT_EQ(Value(true).toInt64(), 1);
  EXPECT_EQ(Value(false).toDouble(), 0.0);
  EXPECT_EQ(Value(7).toDouble(), 7.0);
  EXPECT_EQ(Value(-2.9).toInt64(), -2);
  EXPECT_EQ(Value("7").toInt64(), 0);
  EXPECT_TRUE(Value(0.5).toBool());
  EXPECT_FALSE(Value(0).toBool());
  EXPECT_FALSE(Value("yes").toBool());
}

TEST(ValueTest, DoubleToInt64SaturatesInsteadOfOverflowing) {
  EXPECT_EQ(Value(1e300).toInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Value(-1e300).toInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Value(9223372036854775808.0).toInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Value(-9223372036854775808.0).toInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).toInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Value(std::nan("")).toInt64(), 0);
}

TEST(ValueTest, TextOfScalars) {
  struct Case {
    Value value;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {Value("as is"), "as is"},
      {Value(true), "1"},
      {Value(false), "0"},
      {Value(-42), "-42"},
      {Value(3.0), "3"},
      {Value(0.1), "0.1"},
      {Value(), std::nullopt},
      {Value(Bytes{1}), std::nullopt},
      {Value(Array{1}), std::nullopt},
      {Value(Dictionary{{"a", 1}}), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value.text(), c.text) << c.text.value_or("(none)");
}

TEST(ValueTest, DictionaryEnumeratesInFirstInsertionOrder) {
  Dictionary dictionary;
  for (const char* key : {"zeta", "alpha", "mid", "beta"}) dictionary.set(key, key);
  dictionary.set("alpha", "replaced");  // keeps its place
  EXPECT_EQ(keysOf(dictionary), (std::vector<std::string>{"zeta", "alpha", "mid", "beta"}));
  EXPECT_EQ(dictionary.find("alpha")->asString(), "replaced");

  EXPECT_TRUE(dictionary.erase("alpha"));
  EXPECT_FALSE(dictionary.erase("alpha"));
  EXPECT_EQ(keysOf(dictionary), (std::vector<std::string>{"zeta", "mid", "beta"}));
  // The index must follow the entries that moved up.
  EXPECT_EQ(dictionary.find("mid")->asString(), "mid");
  EXPECT_EQ(dictionary.find("beta")->asString(), "beta");
  dictionary.set("alpha", 1);
  EXPECT_EQ(keysOf(dictionary), (std::vector<std::string>{"zeta", "mid", "beta", "alpha"}));
}

TEST(ValueTest, DictionaryLookupStaysRightWithManyKeys) {
  Dictionary dictionary;
  for (int i = 0; i < 500; ++i) dictionary.set("k" + std::to_string(i), i);
  for (int i = 0; i < 500; i += 2) dictionary.erase("k" + std::to_string(i));
  ASSERT_EQ(dictionary.size(), 250u);
  for (int i = 0; i < 500; ++i) {
    const Value* found = dictionary.find("k" + std::to_string(i));
    if (i % 2 == 0) {
      EXPECT_EQ(found, nullptr) << i;
    } else {
      ASSERT_NE(found, nullptr) << i;
      EXPECT_EQ(found->asInteger(), i);
    }
  }
}

// Small maps are searched without an index; the index is built when a map
// grows past that size and must then know every key already stored.
TEST(ValueTest, DictionaryLookupStaysRightWhileGrowingPastTheSmallSize) {
  Dictionary dictionary;
  std::vector<std::string> expectedOrder;
  for (int n = 0; n < 40; ++n) {
    const std::string key = "k" + std::to_string(n);
    dictionary.set(key, n);
    dictionary.set("k0", -n);  // a replacement never moves a key
    expectedOrder.push_back(key);
    ASSERT_EQ(keysOf(dictionary), expectedOrder) << n;
    for (int i = 1; i <= n; ++i) {
      const Value* found = dictionary.find("k" + std::to_string(i));
      ASSERT_NE(found, nullptr) << n << " " << i;
      EXPECT_EQ(found->asInteger(), i);
    }
    EXPECT_EQ(dictionary.find("k0")->asInteger(), -n);
    EXPECT_EQ(dictionary.find("absent"), nullptr);
  }
  Dictionary copy = dictionary;
  EXPECT_TRUE(copy.erase("k20"));
  EXPECT_EQ(copy.find("k21")->asInteger(), 21);
  EXPECT_EQ(dictionary.find("k20")->asInteger(), 20);
}

TEST(ValueTest, InitializerListRepeatedKeyKeepsFirstPlaceLastValue) {
  const Dictionary dictionary{{"a", 1}, {"b", 2}, {"a", 3}};
  EXPECT_EQ(keysOf(dictionary), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(dictionary.find("a")->asInteger(), 3);
}

TEST(ValueTest, AbsentDiffersFromStoredNull) {
  const Value value = Dictionary{{"present", nullptr}};
  ASSERT_NE(value.find("present"), nullptr);
  EXPECT_TRUE(value.find("present")->isNull());
  EXPECT_EQ(value.find("missing"), nullptr);
}

TEST(ValueTest, MutatorsConvertTheValue) {
  Value value("was a string");
  value.set("k", 1);
  ASSERT_TRUE(value.isDictionary());
  EXPECT_EQ(value.size(), 1u);
  value.find("k")->push_back("x");  // the integer becomes an array
  EXPECT_EQ(*value.find("k"), Value(Array{"x"}));

  Value array;
  array.push_back(1);
  array.push_back(array);  // a copy of itself as it was
  ASSERT_EQ(array.size(), 2u);
  EXPECT_EQ(*array.at(1), Value(Array{1}));
  EXPECT_EQ(array.at(2), nullptr);
}

TEST(ValueTest, TakingAStringLeavesItEmptyAndTakesNothingFromOtherKinds) {
  Value text("a text long enough to live on the heap");
  EXPECT_EQ(text.takeString(), "a text long enough to live on the heap");
  EXPECT_EQ(text, Value(""));
  EXPECT_EQ(text.takeString(), "");

  for (Value other : {Value(), Value(7), Value(Array{"x"}), Value(Dictionary{{"k", "v"}})}) {
    const Value before = other;
    EXPECT_EQ(other.takeString(), "");
    EXPECT_EQ(other, before);
  }
}

TEST(ValueTest, CopiesAreDeepAndMovesLeaveTheSourceUsable) {
  Value original = Dictionary{{"list", Array{1, 2}}};
  Value copy = original;
  copy.find("list")->push_back(3);
  EXPECT_EQ(original.find("list")->size(), 2u);
  EXPECT_EQ(copy.find("list")->size(), 3u);

  Value moved = std::move(copy);
  EXPECT_EQ(moved.find("list")->size(), 3u);
  copy = Value(1);  // assignable after the move
  EXPECT_EQ(copy, Value(1));
}

TEST(ValueTest, Equality) {
  EXPECT_EQ(Value(Dictionary{{"a", 1}, {"b", "x"}}), Value(Dictionary{{"b", "x"}, {"a", 1}}));
  EXPECT_NE(Value(Dictionary{{"a", 1}}), Value(Dictionary{{"a", 1}, {"b", 1}}));
  EXPECT_NE(Value(Dictionary{{"a", 1}}), Value(Dictionary{{"a", 2}}));
  EXPECT_NE(Value(Array{1, 2}), Value(Array{2, 1}));
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value(), Value(0));
  EXPECT_EQ(Value(0.0), Value(-0.0));
  EXPECT_EQ(Value(std::nan("")), Value(std::nan("")));
  EXPECT_NE(Value(std::nan("")), Value(0.0));
  EXPECT_EQ(Value(Bytes{1, 2}), Value(Bytes{1, 2}));
  EXPECT_NE(Value(Bytes{1, 2}), Value("\x01\x02"));
}

}  // namespace
}  // namespace plexora::platform

#include "util/OVAdDictionary.h"

#include <limits>
#include <utility>

namespace plexora {

using platform::Value;

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r\f\v";

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

// Only strings and numbers can stand in for each other.
std::optional<Value> recoverStringOrNumber(const Value& value, OVAdValueClass wanted) {
  if (wanted == OVAdValueClass::String && value.isNumber()) {
    return Value(*value.text());
  }
  if (wanted == OVAdValueClass::Number && value.isString()) {
    return safeNumberFromString(value);
  }
  return std::nullopt;
}

}  // namespace

bool isValueOfClass(const Value& value, OVAdValueClass valueClass) {
  switch (valueClass) {
    case OVAdValueClass::String:
      return value.isString();
    case OVAdValueClass::Number:
      return value.isNumber();
    case OVAdValueClass::Dictionary:
      return value.isDictionary();
    case OVAdValueClass::Array:
      return value.isArray();
  }
  return false;
}

std::optional<Value> safeNumberFromString(const Value& value) {
  if (value.isNumber()) {
    return value;
  }
  if (!value.isString()) {
    return std::nullopt;
  }
  return platform::parseNumber(trimmed(value.asString()));
}

std::optional<Value> objectAtIndexOrNil(const Value& array, std::size_t index) {
  if (const Value* element = array.at(index)) {
    return *element;
  }
  return std::nullopt;
}

std::optional<Value> objectForKeyOrNil(const Value& dictionary, std::string_view key) {
  const Value* value = dictionary.find(key);
  if (value == nullptr || value->isNull()) {
    return std::nullopt;
  }
  return *value;
}

std::optional<Value> objectForKeyOrNil(const Value& dictionary, std::string_view key, OVAdValueClass valueClass) {
  const Value* value = dictionary.find(key);
  if (value == nullptr || value->isNull()) {
    return std::nullopt;
  }
  if (isValueOfClass(*value, valueClass)) {
    return *value;
  }
  return recoverStringOrNumber(*value, valueClass);
}

Value objectForKey(const Value& dictionary, std::string_view key, Value defaultValue) {
  auto value = objectForKeyOrNil(dictionary, key);
  return value ? std::move(*value) : std::move(defaultValue);
}

Value objectForKey(const Value& dictionary, std::string_view key, OVAdValueClass valueClass, Value defaultValue) {
  auto value = objectForKeyOrNil(dictionary, key, valueClass);
  return value ? std::move(*value) : std::move(defaultValue);
}

std::optional<std::string> stringForKeyOrNil(const Value& dictionary, std::string_view key) {
  auto value = objectForKeyOrNil(dictionary, key, OVAdValueClass::String);
  if (!value) {
    return std::nullopt;
  }
  return value->asString();
}

std::string stringForKey(const Value& dictionary, std::string_view key, std::string defaultValue) {
  auto value = stringForKeyOrNil(dictionary, key);
  return value ? std::move(*value) : std::move(defaultValue);
}

std::optional<Value> numberForKeyOrNil(const Value& dictionary, std::string_view key) {
  return objectForKeyOrNil(dictionary, key, OVAdValueClass::Number);
}

Value numberForKey(const Value& dictionary, std::string_view key, Value defaultValue) {
  return objectForKey(dictionary, key, OVAdValueClass::Number, std::move(defaultValue));
}

std::int64_t integerForKey(const Value& dictionary, std::string_view key, std::int64_t defaultValue) {
  auto number = numberForKeyOrNil(dictionary, key);
  return number ? number->toInt64() : defaultValue;
}

std::uint64_t unsignedIntegerForKey(const Value& dictionary, std::string_view key, std::uint64_t defaultValue) {
  auto number = numberForKeyOrNil(dictionary, key);
  if (!number) {
    return defaultValue;
  }
  // A double beyond the signed range still has an unsigned value; anything
  // else takes the two's-complement reading an unsigned conversion gives.
  if (number->isDouble() && number->asDouble() >= 0x1p63) {
    const double value = number->asDouble();
    return value >= 0x1p64 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(value);
  }
  return static_cast<std::uint64_t>(number->toInt64());
}

double doubleForKey(const Value& dictionary, std::string_view key, double defaultValue) {
  auto number = numberForKeyOrNil(dictionary, key);
  return number ? number->toDouble() : defaultValue;
}

bool boolForKey(const Value& dictionary, std::string_view key, bool defaultValue) {
  const Value* value = dictionary.find(key);
  if (value != nullptr && value->isString()) {
    return platform::textBoolValue(value->asString());
  }
  return numberForKey(dictionary, key, Value(defaultValue)).toBool();
}

std::optional<Value> dictionaryForKeyOrNil(const Value& dictionary, std::string_view key) {
  return objectForKeyOrNil(dictionary, key, OVAdValueClass::Dictionary);
}

Value dictionaryForKey(const Value& dictionary, std::string_view key, Value defaultValue) {
  return objectForKey(dictionary, key, OVAdValueClass::Dictionary, std::move(defaultValue));
}

std::optional<Value> arrayForKeyOrNil(const Value& dictionary, std::string_view key) {
  return objectForKeyOrNil(dictionary, key, OVAdValueClass::Array);
}

Value arrayForKey(const Value& dictionary, std::string_view key, Value defaultValue) {
  return objectForKey(dictionary, key, OVAdValueClass::Array, std::move(defaultValue));
}

bool ov_containsString(std::string_view text, std::string_view other) {
  return !other.empty() && text.find(other) != std::string_view::npos;
}

}  // namespace plexora

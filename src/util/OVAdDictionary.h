// Type-tolerant access to loosely typed values (server JSON, stored
// configuration, notification payloads).
//
// A missing entry and a stored null both read as "none". When the stored
// value is not of the wanted class, strings and numbers are recovered into
// each other (the number 42 reads as the text "42", the text "42" as the
// number 42); every other mismatch reads as none, or as the default where
// one is given. A `dictionary` argument that is no dictionary holds nothing.
//
// Thread safety: pure functions over the caller's values; callable from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace plexora {

// The class a caller wants a value to be. A number is a bool, an integer or a
// double.
enum class OVAdValueClass { String, Number, Dictionary, Array };

bool isValueOfClass(const platform::Value& value, OVAdValueClass valueClass);

// A number for a value: none for null; a number as it is; a string read as an
// optionally signed decimal number (surrounding white space ignored); none
// for anything else.
std::optional<platform::Value> safeNumberFromString(const platform::Value& value);

// The element at `index`, or none when the index is not below the count (or
// `array` is no array).
std::optional<platform::Value> objectAtIndexOrNil(const platform::Value& array, std::size_t index);

// The value under `key`: none when missing or null; without a class, the
// value as stored; with one, the value when it is of that class, else its
// string/number recovery, else none.
std::optional<platform::Value> objectForKeyOrNil(const platform::Value& dictionary, std::string_view key);
std::optional<platform::Value> objectForKeyOrNil(const platform::Value& dictionary, std::string_view key,
                                                 OVAdValueClass valueClass);
platform::Value objectForKey(const platform::Value& dictionary, std::string_view key, platform::Value defaultValue);
platform::Value objectForKey(const platform::Value& dictionary, std::string_view key, OVAdValueClass valueClass,
                             platform::Value defaultValue);

// Text; a number reads as its text (true as "1").
std::optional<std::string> stringForKeyOrNil(const platform::Value& dictionary, std::string_view key);
std::string stringForKey(const platform::Value& dictionary, std::string_view key, std::string defaultValue);

// A number (bool, integer or double); a numeric text reads as its number.
std::optional<platform::Value> numberForKeyOrNil(const platform::Value& dictionary, std::string_view key);
platform::Value numberForKey(const platform::Value& dictionary, std::string_view key, platform::Value defaultValue);

// The number's integer value (doubles truncate toward zero), or the default
// when there is no number.
std::int64_t integerForKey(const platform::Value& dictionary, std::string_view key, std::int64_t defaultValue);
std::uint64_t unsignedIntegerForKey(const platform::Value& dictionary, std::string_view key,
                                    std::uint64_t defaultValue);
double doubleForKey(const platform::Value& dictionary, std::string_view key, double defaultValue);

// A stored text decides by its truth ("YES", "true", "1" are true; "", "no",
// "0" are false) and the default is then ignored; otherwise a number's truth,
// or the default when there is none.
bool boolForKey(const platform::Value& dictionary, std::string_view key, bool defaultValue);

// Containers are never recovered from other kinds.
std::optional<platform::Value> dictionaryForKeyOrNil(const platform::Value& dictionary, std::string_view key);
platform::Value dictionaryForKey(const platform::Value& dictionary, std::string_view key,
                                 platform::Value defaultValue);
std::optional<platform::Value> arrayForKeyOrNil(const platform::Value& dictionary, std::string_view key);
platform::Value arrayForKey(const platform::Value& dictionary, std::string_view key, platform::Value defaultValue);

// Whether `text` contains `other` (an empty `other` is contained nowhere,
// the way a substring search that finds nothing answers).
bool ov_containsString(std::string_view text, std::string_view other);

}  // namespace plexora

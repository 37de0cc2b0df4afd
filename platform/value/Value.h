// The one dynamic value type of the library: what server JSON, property lists,
// request parameters and stored configuration are read into and written
// from. A Value is null, a bool, a 64-bit integer, a double, a UTF-8 string,
// a byte string (data), an array of values or a dictionary of string keys to
// values. Dictionaries keep their keys in the order they were first inserted,
// because form bodies are written in enumeration order.
//
// Thread safety: none inside; a Value is a plain value. Distinct Values may
// be used on distinct threads; one Value shared between threads must be
// guarded by its owner (concurrent const access is fine).
// Ownership: a Value owns its whole tree; copies are deep, moves are cheap.
//
// Access never throws: a getter asked for a kind the value does not hold
// answers an empty default (false, 0, 0.0, "", empty data/array/dictionary),
// and `find`/`at` answer null. A missing dictionary entry ("absent") is a
// null pointer from `find`, distinct from a stored null value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <concepts>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Export.h"

namespace plexora::platform {

class Value;

using Bytes = std::vector<uint8_t>;
using Array = std::vector<Value>;

// String-keyed map that enumerates in first-insertion order. Small maps (most
// server objects) are searched linearly, which keeps parsing and copying
// cheap; past kLinearSearchLimit keys a hash index is kept. Erase is linear
// in the size.
class PLEXORA_EXPORT Dictionary {
 public:
  using Entry = std::pair<std::string, Value>;
  using const_iterator = std::vector<Entry>::const_iterator;

  Dictionary() = default;
  // A repeated key keeps its first position and takes the later value.
  Dictionary(std::initializer_list<Entry> entries);

  size_t size() const;
  bool empty() const;

  // The value under `key`, or null when the key is absent. The pointer is
  // valid until the dictionary is next changed.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  bool contains(std::string_view key) const;

  // Stores the value; a key already present keeps its position.
  void set(std::string key, Value value);
  // Removes the key; answers whether it was present. Later keys keep their
  // relative order.
  bool erase(std::string_view key);

  // Entries in insertion order.
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Same keys with equal values; the order of the keys does not matter.
  friend bool operator==(const Dictionary& a, const Dictionary& b);

 private:
  // Lets the index be searched with a string_view, without a copy.
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };

  static constexpr size_t kLinearSearchLimit = 16;

  std::vector<Entry> entries_;
  // key -> position in entries_; empty while the map is small, complete once
  // it is not.
  std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>> index_;
};

class PLEXORA_EXPORT Value {
 public:
  enum class Kind { Null, Bool, Integer, Double, String, Data, Array, Dictionary };

  Value() = default;  // null
  Value(std::nullptr_t) {}
  Value(bool value) : storage_(value) {}
  // Every integer type but bool; an unsigned value above the int64 range
  // becomes a double.
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  Value(T value) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(int64_t)) {
      if (value > static_cast<T>(std::numeric_limits<int64_t>::max())) {
        storage_ = static_cast<double>(value);
        return;
      }
    }
    storage_ = static_cast<int64_t>(value);
  }
  Value(double value) : storage_(value) {}
  Value(float value) : storage_(static_cast<double>(value)) {}
  // A null pointer gives a null value.
  Value(const char* value) {
    if (value != nullptr) storage_ = std::string(value);
  }
  Value(std::string value) : storage_(std::move(value)) {}
  Value(std::string_view value) : storage_(std::string(value)) {}
  Value(Bytes value) : storage_(std::move(value)) {}
  // Value(Array{1, "two", 3.0}) and Value(Dictionary{{"a", 1}, {"b", "x"}}).
  Value(Array value) : storage_(std::move(value)) {}
  Value(Dictionary value) : storage_(std::move(value)) {}

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isDouble() const { return kind() == Kind::Double; }
  // A bool counts as a number (1 or 0), as it does in JSON consumers.
  bool isNumber() const { return isBool() || isInteger() || isDouble(); }
  bool isString() const { return kind() == Kind::String; }
  bool isData() const { return kind() == Kind::Data; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isDictionary() const { return kind() == Kind::Dictionary; }

  // Exact-kind getters; another kind gives the empty default.
  bool asBool() const;
  int64_t asInteger() const;
  double asDouble() const;
  const std::string& asString() const;
  const Bytes& asData() const;
  const Array& asArray() const;
  const Dictionary& asDictionary() const;

  // Any number (bool, integer, double) converted; 0 for other kinds.
  // Doubles convert toward zero, saturate at the int64 limits, and NaN
  // gives 0.
  int64_t toInt64() const;
  double toDouble() const;
  // Non-zero number; false for other kinds.
  bool toBool() const;

  // The text of a scalar: a string as it is, a number as `numberText`
  // (true "1", false "0"). None for null, data, arrays and dictionaries.
  std::optional<std::string> text() const;

  // A string's text, moved out (the value keeps the empty string); the empty
  // text for other kinds. For readers that consume a parsed document.
  std::string takeString();

  // Mutable containers. A value of another kind is first replaced by an
  // empty container of the wanted kind.
  Array& mutableArray();
  Dictionary& mutableDictionary();

  // Dictionary conveniences: null/false/no-op when this is no dictionary,
  // except `set`, which turns the value into a dictionary first.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  void set(std::string key, Value value);
  bool erase(std::string_view key);

  // Array conveniences: `at` answers null when this is no array or the index
  // is not below the count; `push_back` turns the value into an array first.
  const Value* at(size_t index) const;
  void push_back(Value value);

  // Element count of an array or dictionary, byte count of data, 0 otherwise.
  size_t size() const;

  // Same kind and equal contents. Doubles compare by value, except that NaN
  // equals NaN so a value always equals its own copy. Integer 1, double 1.0
  // and true are different values.
  friend bool operator==(const Value& a, const Value& b);

 private:
  std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Array, Dictionary> storage_;
};

// Defined here because the entries need Value complete.
inline size_t Dictionary::size() const { return entries_.size(); }
inline bool Dictionary::empty() const { return entries_.empty(); }
inline bool Dictionary::contains(std::string_view key) const { return find(key) != nullptr; }

// The deepest nesting of arrays and dictionaries that the readers and
// writers below accept; deeper input is refused rather than risk the stack.
inline constexpr size_t kMaxNesting = 512;

// Number text: decimal for integers; a double without fraction has none
// ("3", not "3.0"), others the shortest text that reads back the same
// ("0.1"); "nan", "inf" and "-inf" for the non-finite.
PLEXORA_EXPORT std::string numberText(int64_t value);
PLEXORA_EXPORT std::string numberText(double value);

// Reads an optionally signed decimal number: digits with an optional
// fraction ("42", "-7", "4.5", ".5", "3."). Anything else, including
// white space, exponents and trailing characters, gives none. Integers that
// fit int64 give an integer value, others a double.
PLEXORA_EXPORT std::optional<Value> parseNumber(std::string_view text);

// Truth of a text the way a string's bool value reads it: skip leading white
// space, then an optional sign and leading zeros; true when the next
// character is 'Y', 'y', 'T', 't' or a digit 1-9. Later characters are
// ignored.
PLEXORA_EXPORT bool textBoolValue(std::string_view text);

// JSON text to a value. Top-level fragments ("\"a\"", "5") are accepted;
// object keys keep their order; integers that fit int64 stay integers, other
// numbers become doubles. None for invalid JSON or UTF-8 and for nesting
// deeper than kMaxNesting. Never throws.
PLEXORA_EXPORT std::optional<Value> parseJSON(std::string_view text);

// Compact JSON text. Any kind may be the top level. None when the tree holds
// data, a non-finite double, a string that is not UTF-8, or nesting deeper
// than kMaxNesting. Never throws.
PLEXORA_EXPORT std::optional<std::string> toJSON(const Value& value);

// Binary or XML property list to a value. Dates become doubles: seconds
// since 2001-01-01 00:00:00 UTC. None for anything that is no property list,
// for nesting deeper than kMaxNesting, and for what a Value cannot carry
// faithfully: keyed-archiver UIDs, sets, strings that hold a NUL or are not
// Unicode. Never throws.
PLEXORA_EXPORT std::optional<Value> parsePropertyList(std::span<const uint8_t> bytes);

// Binary property list (format 1.0). None when the tree holds a null, which
// the format cannot express, a string that holds a NUL or is not UTF-8, or
// nesting deeper than kMaxNesting. Never throws.
PLEXORA_EXPORT std::optional<Bytes> toBinaryPropertyList(const Value& value);

}  // namespace plexora::platform

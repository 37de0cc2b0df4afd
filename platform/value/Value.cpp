#include "platform/value/Value.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace plexora::platform {

// ---- Dictionary ----

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  for (const Entry& entry : entries) set(entry.first, entry.second);
}

const Value* Dictionary::find(std::string_view key) const {
  if (index_.empty()) {
    for (const Entry& entry : entries_) {
      if (entry.first == key) return &entry.second;
    }
    return nullptr;
  }
  auto it = index_.find(key);
  return it == index_.end() ? nullptr : &entries_[it->second].second;
}

Value* Dictionary::find(std::string_view key) {
  return const_cast<Value*>(std::as_const(*this).find(key));
}

void Dictionary::set(std::string key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return;
  }
  entries_.emplace_back(std::move(key), std::move(value));
  if (!index_.empty()) {
    index_.emplace(entries_.back().first, entries_.size() - 1);
  } else if (entries_.size() > kLinearSearchLimit) {
    for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
  }
}

bool Dictionary::erase(std::string_view key) {
  if (index_.empty()) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [key](const Entry& entry) { return entry.first == key; });
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
  }
  auto it = index_.find(key);
  if (it == index_.end()) return false;
  const size_t position = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  for (size_t i = position; i < entries_.size(); ++i) index_[entries_[i].first] = i;
  return true;
}

bool operator==(const Dictionary& a, const Dictionary& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [key, value] : a) {
    const Value* other = b.find(key);
    if (other == nullptr || !(*other == value)) return false;
  }
  return true;
}

// ---- Value ----

namespace {

const std::string kEmptyString;
const Bytes kEmptyData;
const Array kEmptyArray;
const Dictionary kEmptyDictionary;

template <typename T, typename Storage>
const T& getOr(const Storage& storage, const T& fallback) {
  const T* held = std::get_if<T>(&storage);
  return held != nullptr ? *held : fallback;
}

// Casting an out-of-range double to an integer is undefined, so clamp first.
int64_t saturatingInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; everything below it fits after truncation.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (value >= kTwoTo63) return std::numeric_limits<int64_t>::max();
  if (value < -kTwoTo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

}  // namespace

bool Value::asBool() const { return getOr(storage_, false); }
int64_t Value::asInteger() const { return getOr(storage_, int64_t{0}); }
double Value::asDouble() const { return getOr(storage_, 0.0); }
const std::string& Value::asString() const { return getOr(storage_, kEmptyString); }
const Bytes& Value::asData() const { return getOr(storage_, kEmptyData); }
const Array& Value::asArray() const { return getOr(storage_, kEmptyArray); }
const Dictionary& Value::asDictionary() const { return getOr(storage_, kEmptyDictionary); }

int64_t Value::toInt64() const {
  switch (kind()) {
    case Kind::Bool: return asBool() ? 1 : 0;
    case Kind::Integer: return asInteger();
    case Kind::Double: return saturatingInt64(asDouble());
    default: return 0;
  }
}

double Value::toDouble() const {
  switch (kind()) {
    case Kind::Bool: return asBool() ? 1.0 : 0.0;
    case Kind::Integer: return static_cast<double>(asInteger());
    case Kind::Double: return asDouble();
    default: return 0.0;
  }
}

bool Value::toBool() const {
  switch (kind()) {
    case Kind::Bool: return asBool();
    case Kind::Integer: return asInteger() != 0;
    case Kind::Double: return asDouble() != 0.0;  // NaN counts as true, being non-zero
    default: return false;
  }
}

std::optional<std::string> Value::text() const {
  switch (kind()) {
    case Kind::String: return asString();
    case Kind::Bool: return std::string(asBool() ? "1" : "0");
    case Kind::Integer: return numberText(asInteger());
    case Kind::Double: return numberText(asDouble());
    default: return std::nullopt;
  }
}

std::string Value::takeString() {
  std::string* text = std::get_if<std::string>(&storage_);
  return text != nullptr ? std::exchange(*text, std::string()) : std::string();
}

Array& Value::mutableArray() {
  if (!isArray()) storage_ = Array{};
  return std::get<Array>(storage_);
}

Dictionary& Value::mutableDictionary() {
  if (!isDictionary()) storage_ = Dictionary{};
  return std::get<Dictionary>(storage_);
}

const Value* Value::find(std::string_view key) const {
  const Dictionary* dictionary = std::get_if<Dictionary>(&storage_);
  return dictionary != nullptr ? dictionary->find(key) : nullptr;
}

Value* Value::find(std::string_view key) {
  Dictionary* dictionary = std::get_if<Dictionary>(&storage_);
  return dictionary != nullptr ? dictionary->find(key) : nullptr;
}

void Value::set(std::string key, Value value) { mutableDictionary().set(std::move(key), std::move(value)); }

bool Value::erase(std::string_view key) {
  Dictionary* dictionary = std::get_if<Dictionary>(&storage_);
  return dictionary != nullptr && dictionary->erase(key);
}

const Value* Value::at(size_t index) const {
  const Array* array = std::get_if<Array>(&storage_);
  return array != nullptr && index < array->size() ? &(*array)[index] : nullptr;
}

void Value::push_back(Value value) { mutableArray().push_back(std::move(value)); }

size_t Value::size() const {
  switch (kind()) {
    case Kind::Data: return asData().size();
    case Kind::Array: return asArray().size();
    case Kind::Dictionary: return asDictionary().size();
    default: return 0;
  }
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  if (a.isDouble()) {
    const double x = a.asDouble();
    const double y = b.asDouble();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  return a.storage_ == b.storage_;
}

}  // namespace plexora::platform

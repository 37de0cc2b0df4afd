// Property lists <-> Value. libplist reads XML and writes binary; binary
// input goes to our own reader, which survives files libplist aborts on.
#include <plist/plist.h>

#include <cstdlib>
#include <memory>

#include "platform/value/BinaryPropertyListReader.h"
#include "platform/value/Value.h"
#include "platform/value/XmlNesting.h"

namespace plexora::platform {

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// libplist hands out malloc'd strings, data and iterators.
struct MallocFree {
  void operator()(void* memory) const { std::free(memory); }
};
using MallocString = std::unique_ptr<char, MallocFree>;

// Strings that are not UTF-8 cannot be carried by the format faithfully, and
// libplist's C strings would silently cut one at an embedded NUL.
bool isPlistText(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead == 0) return false;
    size_t length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// libplist hands keys out as C strings, so a key with an embedded NUL
// arrives cut short; nothing in its interface tells the full length.
std::optional<std::string> keyText(MallocString key) {
  if (!key) return std::nullopt;
  std::string text(key.get());
  if (!isPlistText(text)) return std::nullopt;
  return text;
}

// A node tree read from XML.
std::optional<Value> toValue(plist_t node, size_t depth) {
  if (node == nullptr) return std::nullopt;
  const plist_type type = plist_get_node_type(node);
  if ((type == PLIST_ARRAY || type == PLIST_DICT) && depth >= kMaxNesting) return std::nullopt;
  switch (type) {
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return Value(flag != 0);
    }
    case PLIST_UINT: {
      // Stored as the two's complement bits of the signed integer.
      uint64_t bits = 0;
      plist_get_uint_val(node, &bits);
      return Value(static_cast<int64_t>(bits));
    }
    case PLIST_REAL: {
      double real = 0;
      plist_get_real_val(node, &real);
      return Value(real);
    }
    case PLIST_DATE: {
      int32_t seconds = 0;
      int32_t microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return Value(static_cast<double>(seconds) + static_cast<double>(microseconds) / 1e6);
    }
    case PLIST_STRING: {
      // Read by pointer and length: the copying getter aborts the process on
      // a string with an embedded NUL, which a hostile file can hold.
      uint64_t length = 0;
      const char* raw = plist_get_string_ptr(node, &length);
      if (raw == nullptr) return std::nullopt;
      std::string text(raw, length);
      if (!isPlistText(text)) return std::nullopt;
      return Value(std::move(text));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const auto* bytes = reinterpret_cast<const uint8_t*>(plist_get_data_ptr(node, &length));
      if (length == 0) return Value(Bytes{});
      if (bytes == nullptr) return std::nullopt;
      return Value(Bytes(bytes, bytes + length));
    }
    case PLIST_ARRAY: {
      // Iterated, since indexed access walks the child list each time.
      Array array;
      plist_array_iter iterator = nullptr;
      plist_array_new_iter(node, &iterator);
      std::unique_ptr<void, MallocFree> ownedIterator(iterator);
      while (true) {
        plist_t item = nullptr;
        plist_array_next_item(node, iterator, &item);
        if (item == nullptr) break;
        auto element = toValue(item, depth + 1);
        if (!element) return std::nullopt;
        array.push_back(std::move(*element));
      }
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      Dictionary dictionary;
      plist_dict_iter iterator = nullptr;
      plist_dict_new_iter(node, &iterator);
      std::unique_ptr<void, MallocFree> ownedIterator(iterator);
      while (true) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &item);
        MallocString ownedKey(rawKey);
        if (item == nullptr) break;
        auto key = keyText(std::move(ownedKey));
        auto element = toValue(item, depth + 1);
        if (!key || !element) return std::nullopt;
        dictionary.set(std::move(*key), std::move(*element));
      }
      return Value(std::move(dictionary));
    }
    default:  // keys out of place, keyed-archiver UIDs
      return std::nullopt;
  }
}

PlistPtr toNode(const Value& value, size_t depth) {
  if ((value.isArray() || value.isDictionary()) && depth >= kMaxNesting) return nullptr;
  switch (value.kind()) {
    case Value::Kind::Null: return nullptr;
    case Value::Kind::Bool: return PlistPtr(plist_new_bool(value.asBool() ? 1 : 0));
    case Value::Kind::Integer: return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.asInteger())));
    case Value::Kind::Double: return PlistPtr(plist_new_real(value.asDouble()));
    case Value::Kind::String:
      if (!isPlistText(value.asString())) return nullptr;
      return PlistPtr(plist_new_string(value.asString().c_str()));
    case Value::Kind::Data: {
      const Bytes& bytes = value.asData();
      return PlistPtr(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    case Value::Kind::Array: {
      PlistPtr array(plist_new_array());
      for (const Value& element : value.asArray()) {
        PlistPtr child = toNode(element, depth + 1);
        if (!child) return nullptr;
        plist_array_append_item(array.get(), child.release());
      }
      return array;
    }
    case Value::Kind::Dictionary: {
      PlistPtr dictionary(plist_new_dict());
      for (const auto& [key, element] : value.asDictionary()) {
        if (!isPlistText(key)) return nullptr;
        PlistPtr child = toNode(element, depth + 1);
        if (!child) return nullptr;
        plist_dict_set_item(dictionary.get(), key.c_str(), child.release());
      }
      return dictionary;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<Value> parsePropertyList(std::span<const uint8_t> bytes) {
  constexpr std::string_view kBinaryPrefix = "bplist";
  if (bytes.size() >= kBinaryPrefix.size() &&
      std::string_view(reinterpret_cast<const char*>(bytes.data()), kBinaryPrefix.size()) == kBinaryPrefix) {
    return readBinaryPropertyList(bytes);
  }
  if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  // The plist element and a leaf element sit around the deepest container.
  const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!xmlNestingWithin(xml, kMaxNesting + 2)) return std::nullopt;
  plist_t raw = nullptr;
  plist_from_xml(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &raw);
  PlistPtr root(raw);
  if (!root) return std::nullopt;
  return toValue(root.get(), 0);
}

std::optional<Bytes> toBinaryPropertyList(const Value& value) {
  PlistPtr root = toNode(value, 0);
  if (!root) return std::nullopt;
  char* raw = nullptr;
  uint32_t length = 0;
  plist_to_bin(root.get(), &raw, &length);
  if (raw == nullptr) return std::nullopt;
  const auto* begin = reinterpret_cast<const uint8_t*>(raw);
  Bytes result(begin, begin + length);
  plist_to_bin_free(raw);
  return result;
}

}  // namespace plexora::platform

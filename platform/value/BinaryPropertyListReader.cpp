#include "platform/value/BinaryPropertyListReader.h"

#include <bit>
#include <string_view>
#include <vector>

namespace plexora::platform {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr size_t kTrailerSize = 32;
// Shared references are legal and common (writers unique equal strings), so
// the result may be larger than the file, but not without bound.
constexpr uint64_t kBudgetFloor = 1 << 18;
constexpr uint64_t kBudgetPerInputByte = 16;

enum Marker : uint8_t {
  kSimple = 0x0,
  kInteger = 0x1,
  kReal = 0x2,
  kDate = 0x3,
  kData = 0x4,
  kAsciiString = 0x5,
  kUtf16String = 0x6,
  kArray = 0xA,
  kDictionary = 0xD,
};

constexpr uint8_t kFalse = 0x08;
constexpr uint8_t kTrue = 0x09;
constexpr uint8_t kCountFollows = 0xF;

void appendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes)
      : bytes_(bytes), budget_(kBudgetFloor + kBudgetPerInputByte * bytes.size()) {}

  std::optional<Value> read() {
    if (bytes_.size() < kMagic.size() + kTrailerSize) return std::nullopt;
    if (std::string_view(reinterpret_cast<const char*>(bytes_.data()), kMagic.size()) != kMagic) return std::nullopt;

    const size_t trailer = bytes_.size() - kTrailerSize;
    offsetSize_ = bytes_[trailer + 6];
    referenceSize_ = bytes_[trailer + 7];
    const uint64_t objectCount = *bigEndian(trailer + 8, 8);
    const uint64_t topObject = *bigEndian(trailer + 16, 8);
    const uint64_t tableOffset = *bigEndian(trailer + 24, 8);

    if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) return std::nullopt;
    if (objectCount == 0 || topObject >= objectCount) return std::nullopt;
    if (tableOffset <= kMagic.size() || tableOffset > trailer) return std::nullopt;
    if (objectCount > (trailer - tableOffset) / offsetSize_) return std::nullopt;

    objectsEnd_ = static_cast<size_t>(tableOffset);
    objectCount_ = objectCount;
    onPath_.assign(static_cast<size_t>(objectCount), false);
    return object(topObject, 0);
  }

 private:
  // Whether [position, position + length) lies in the object area.
  bool inObjects(size_t position, uint64_t length) const {
    return position <= objectsEnd_ && length <= objectsEnd_ - position;
  }

  std::optional<uint64_t> bigEndian(size_t position, size_t width) const {
    if (position > bytes_.size() || width > bytes_.size() - position) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value = (value << 8) | bytes_[position + i];
    return value;
  }

  bool spend(uint64_t units) {
    if (units > budget_) return false;
    budget_ -= units;
    return true;
  }

  // The element count after a marker: its low nibble, or for 0xF an integer
  // object that follows. Advances `position` past what it read.
  std::optional<uint64_t> count(uint8_t info, size_t& position) const {
    if (info != kCountFollows) return info;
    if (!inObjects(position, 1)) return std::nullopt;
    const uint8_t marker = bytes_[position];
    if ((marker >> 4) != kInteger || (marker & 0xF) > 3) return std::nullopt;
    const size_t width = size_t{1} << (marker & 0xF);
    if (!inObjects(position + 1, width)) return std::nullopt;
    const uint64_t value = *bigEndian(position + 1, width);
    position += 1 + width;
    return value;
  }

  std::optional<uint64_t> reference(size_t position) const {
    auto value = bigEndian(position, referenceSize_);
    if (!value || *value >= objectCount_) return std::nullopt;
    return value;
  }

  std::optional<Value> object(uint64_t index, size_t depth) {
    if (!spend(1)) return std::nullopt;
    const auto offset = bigEndian(objectsEnd_ + static_cast<size_t>(index) * offsetSize_, offsetSize_);
    if (!offset || *offset < kMagic.size() || *offset >= objectsEnd_) return std::nullopt;

    size_t position = static_cast<size_t>(*offset);
    const uint8_t marker = bytes_[position++];
    const uint8_t info = marker & 0xF;
    switch (marker >> 4) {
      case kSimple:
        if (marker == kFalse) return Value(false);
        if (marker == kTrue) return Value(true);
        return std::nullopt;  // null and fill bytes are no values here
      case kInteger: return integer(info, position);
      case kReal:
        if (info == 2 && inObjects(position, 4)) {
          return Value(static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(*bigEndian(position, 4)))));
        }
        if (info == 3 && inObjects(position, 8)) return Value(std::bit_cast<double>(*bigEndian(position, 8)));
        return std::nullopt;
      case kDate:
        if (info != 3 || !inObjects(position, 8)) return std::nullopt;
        return Value(std::bit_cast<double>(*bigEndian(position, 8)));
      case kData: {
        const auto length = count(info, position);
        if (!length || !inObjects(position, *length) || !spend(*length)) return std::nullopt;
        const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(position);
        return Value(Bytes(first, first + static_cast<std::ptrdiff_t>(*length)));
      }
      case kAsciiString: return asciiString(info, position);
      case kUtf16String: return utf16String(info, position);
      case kArray: return container(index, info, position, depth, false);
      case kDictionary: return container(index, info, position, depth, true);
      default: return std::nullopt;  // UIDs, sets and unknown markers
    }
  }

  std::optional<Value> integer(uint8_t info, size_t position) const {
    if (info > 4) return std::nullopt;
    const size_t width = size_t{1} << info;
    if (!inObjects(position, width)) return std::nullopt;
    if (width == 16) {
      // Only unsigned 64-bit values are written this wide.
      if (*bigEndian(position, 8) != 0) return std::nullopt;
      return Value(*bigEndian(position + 8, 8));
    }
    const uint64_t bits = *bigEndian(position, width);
    // Eight bytes hold a signed value; narrower ones are unsigned.
    return width == 8 ? Value(static_cast<int64_t>(bits)) : Value(bits);
  }

  std::optional<Value> asciiString(uint8_t info, size_t position) {
    const auto length = count(info, position);
    if (!length || !inObjects(position, *length) || !spend(*length)) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(bytes_.data() + position), static_cast<size_t>(*length));
    for (char c : text) {
      if (c <= 0) return std::nullopt;  // NUL or beyond ASCII
    }
    return Value(std::move(text));
  }

  std::optional<Value> utf16String(uint8_t info, size_t position) {
    const auto units = count(info, position);
    if (!units || *units > (objectsEnd_ - position) / 2 || !spend(*units)) return std::nullopt;
    std::string text;
    text.reserve(static_cast<size_t>(*units));
    for (uint64_t i = 0; i < *units; ++i) {
      uint32_t unit = static_cast<uint32_t>(*bigEndian(position + 2 * i, 2));
      if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return std::nullopt;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (++i == *units) return std::nullopt;
        const auto low = static_cast<uint32_t>(*bigEndian(position + 2 * i, 2));
        if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
      appendUtf8(text, unit);
    }
    return Value(std::move(text));
  }

  std::optional<Value> container(uint64_t index, uint8_t info, size_t position, size_t depth, bool isDictionary) {
    const auto entries = count(info, position);
    const uint64_t referencesPerEntry = isDictionary ? 2 : 1;
    if (!entries || depth >= kMaxNesting) return std::nullopt;
    if (*entries > (objectsEnd_ - position) / referenceSize_ / referencesPerEntry) return std::nullopt;
    // An object that contains itself, however indirectly, has no value.
    if (onPath_[static_cast<size_t>(index)]) return std::nullopt;
    onPath_[static_cast<size_t>(index)] = true;
    auto result = isDictionary ? dictionary(*entries, position, depth) : array(*entries, position, depth);
    onPath_[static_cast<size_t>(index)] = false;
    return result;
  }

  std::optional<Value> array(uint64_t entries, size_t position, size_t depth) {
    Array elements;
    elements.reserve(static_cast<size_t>(entries));
    for (uint64_t i = 0; i < entries; ++i) {
      const auto ref = reference(position + static_cast<size_t>(i) * referenceSize_);
      if (!ref) return std::nullopt;
      auto element = object(*ref, depth + 1);
      if (!element) return std::nullopt;
      elements.push_back(std::move(*element));
    }
    return Value(std::move(elements));
  }

  std::optional<Value> dictionary(uint64_t entries, size_t position, size_t depth) {
    Dictionary members;
    const size_t valuesStart = position + static_cast<size_t>(entries) * referenceSize_;
    for (uint64_t i = 0; i < entries; ++i) {
      const auto keyRef = reference(position + static_cast<size_t>(i) * referenceSize_);
      const auto valueRef = reference(valuesStart + static_cast<size_t>(i) * referenceSize_);
      if (!keyRef || !valueRef) return std::nullopt;
      auto key = object(*keyRef, depth + 1);
      if (!key || !key->isString()) return std::nullopt;
      auto element = object(*valueRef, depth + 1);
      if (!element) return std::nullopt;
      members.set(key->asString(), std::move(*element));
    }
    return Value(std::move(members));
  }

  std::span<const uint8_t> bytes_;
  uint64_t budget_;
  uint8_t offsetSize_ = 0;
  uint8_t referenceSize_ = 0;
  uint64_t objectCount_ = 0;
  size_t objectsEnd_ = 0;  // the offset table starts here
  std::vector<bool> onPath_;
};

}  // namespace

std::optional<Value> readBinaryPropertyList(std::span<const uint8_t> bytes) { return Reader(bytes).read(); }

}  // namespace plexora::platform

// A bounds-checked big-endian window over bytes in memory, used for every
// field of an MP4 box.
//
// Reads are relative to the cursor and leave it where it is; each answers
// false, and leaves its output untouched, unless the whole value lies inside
// the window. `advance` moves the cursor without a check: a cursor moved past
// the end leaves nothing to read, so every later read answers false. The
// reader never owns the bytes, which must outlive it.
//
// Thread safety: a plain value; copy it to read the same bytes elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plexora {

// The big-endian value at `bytes`, which must hold sizeof(Value) bytes.
template <typename Value>
inline Value loadQNVBigEndian(const uint8_t* bytes) {
  Value value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (sizeof(Value) == 8) return __builtin_bswap64(value);
  if constexpr (sizeof(Value) == 4) return __builtin_bswap32(value);
  if constexpr (sizeof(Value) == 2) return __builtin_bswap16(value);
  return value;
}

class QNVByteReader {
 public:
  QNVByteReader(const uint8_t* begin, const uint8_t* end)
      : begin_(begin), size_(end > begin ? static_cast<uint64_t>(end - begin) : 0) {}

  [[nodiscard]] bool readU8(uint64_t offset, uint8_t& out) const { return read(offset, out); }
  [[nodiscard]] bool readU16(uint64_t offset, uint16_t& out) const { return read(offset, out); }
  [[nodiscard]] bool readU32(uint64_t offset, uint32_t& out) const { return read(offset, out); }
  [[nodiscard]] bool readU64(uint64_t offset, uint64_t& out) const { return read(offset, out); }
  // A pointer to `count` bytes at cursor + offset, or null when they do not
  // all lie inside the window.
  [[nodiscard]] const uint8_t* bytesAt(uint64_t offset, uint64_t count) const;

  void advance(uint64_t count) { cursor_ = count > UINT64_MAX - cursor_ ? UINT64_MAX : cursor_ + count; }
  // Bytes from the cursor to the end; 0 once the cursor is past it.
  uint64_t bytesLeft() const { return cursor_ < size_ ? size_ - cursor_ : 0; }
  // Bytes from the window's start to the cursor.
  uint64_t position() const { return cursor_; }
  // A reader over the next `count` bytes, the cursor at its start; an empty
  // one when they do not all lie inside the window.
  [[nodiscard]] QNVByteReader window(uint64_t count) const;

 private:
  [[nodiscard]] bool contains(uint64_t offset, uint64_t count) const {
    if (offset > UINT64_MAX - cursor_) return false;
    const uint64_t position = cursor_ + offset;
    return position <= size_ && count <= size_ - position;
  }

  template <typename Value>
  [[nodiscard]] bool read(uint64_t offset, Value& out) const {
    if (!contains(offset, sizeof(Value))) return false;
    out = loadQNVBigEndian<Value>(begin_ + cursor_ + offset);
    return true;
  }

  const uint8_t* begin_;
  uint64_t size_;
  uint64_t cursor_ = 0;
};

}  // namespace plexora

// Builds MP4 boxes byte by byte for the parser's tests: any version, 32- or
// 64-bit sizes, and sizes or counts that lie.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "platform/foundation/Bytes.h"

namespace plexora::testing {

using platform::Bytes;

class Mp4BoxWriter {
 public:
  Mp4BoxWriter& u8(uint8_t value) { return bigEndian(value, 1); }
  Mp4BoxWriter& u16(uint16_t value) { return bigEndian(value, 2); }
  Mp4BoxWriter& u24(uint32_t value) { return bigEndian(value, 3); }
  Mp4BoxWriter& u32(uint32_t value) { return bigEndian(value, 4); }
  Mp4BoxWriter& u64(uint64_t value) { return bigEndian(value, 8); }
  Mp4BoxWriter& type(std::string_view fourCharacters);
  Mp4BoxWriter& zeros(size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
  }
  Mp4BoxWriter& raw(std::span<const uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  // Starts a box whose size close() fills in; a large box has size 1 and a
  // 64-bit size after its type.
  Mp4BoxWriter& open(std::string_view boxType, bool large = false);
  Mp4BoxWriter& openFull(std::string_view boxType, uint8_t version, uint32_t flags = 0) {
    return open(boxType).u8(version).u24(flags);
  }
  Mp4BoxWriter& close();

  const Bytes& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  Bytes take() { return std::move(bytes_); }

 private:
  Mp4BoxWriter& bigEndian(uint64_t value, unsigned width);

  struct Open {
    size_t start;
    bool large;
  };
  Bytes bytes_;
  std::vector<Open> open_;
};

// A box of the given type around a payload, with a 32-bit size.
Bytes mp4Box(std::string_view type, std::span<const uint8_t> payload);
Bytes concat(std::initializer_list<Bytes> parts);

}  // namespace plexora::testing

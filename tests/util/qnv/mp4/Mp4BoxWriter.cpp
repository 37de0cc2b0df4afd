#include "util/qnv/mp4/Mp4BoxWriter.h"

#include <cassert>

namespace plexora::testing {

Mp4BoxWriter& Mp4BoxWriter::bigEndian(uint64_t value, unsigned width) {
  for (unsigned i = width; i-- > 0;) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return *this;
}

Mp4BoxWriter& Mp4BoxWriter::type(std::string_view fourCharacters) {
  assert(fourCharacters.size() == 4);
  for (char c : fourCharacters) bytes_.push_back(static_cast<uint8_t>(c));
  return *this;
}

Mp4BoxWriter& Mp4BoxWriter::open(std::string_view boxType, bool large) {
  open_.push_back({bytes_.size(), large});
  u32(large ? 1 : 0).type(boxType);
  if (large) u64(0);
  return *this;
}

Mp4BoxWriter& Mp4BoxWriter::close() {
  assert(!open_.empty());
  const Open box = open_.back();
  open_.pop_back();
  const uint64_t size = bytes_.size() - box.start;
  if (box.large) {
    for (unsigned i = 0; i < 8; ++i) bytes_[box.start + 8 + i] = static_cast<uint8_t>(size >> (8 * (7 - i)));
  } else {
    for (unsigned i = 0; i < 4; ++i) bytes_[box.start + i] = static_cast<uint8_t>(size >> (8 * (3 - i)));
  }
  return *this;
}

Bytes mp4Box(std::string_view type, std::span<const uint8_t> payload) {
  Mp4BoxWriter writer;
  writer.open(type).raw(payload).close();
  return writer.take();
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace plexora::testing

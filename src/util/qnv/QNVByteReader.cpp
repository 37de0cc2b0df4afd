#include "util/qnv/QNVByteReader.h"

namespace plexora {

bool QNVByteReader::contains(uint64_t offset, uint64_t count) const {
  if (offset > UINT64_MAX - cursor_) return false;
  const uint64_t position = cursor_ + offset;
  return position <= size_ && count <= size_ - position;
}

uint64_t QNVByteReader::readBigEndian(uint64_t offset, unsigned width) const {
  const uint8_t* bytes = begin_ + cursor_ + offset;
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

bool QNVByteReader::readU8(uint64_t offset, uint8_t& out) const {
  if (!contains(offset, 1)) return false;
  out = static_cast<uint8_t>(readBigEndian(offset, 1));
  return true;
}

bool QNVByteReader::readU16(uint64_t offset, uint16_t& out) const {
  if (!contains(offset, 2)) return false;
  out = static_cast<uint16_t>(readBigEndian(offset, 2));
  return true;
}

bool QNVByteReader::readU32(uint64_t offset, uint32_t& out) const {
  if (!contains(offset, 4)) return false;
  out = static_cast<uint32_t>(readBigEndian(offset, 4));
  return true;
}

bool QNVByteReader::readU64(uint64_t offset, uint64_t& out) const {
  if (!contains(offset, 8)) return false;
  out = readBigEndian(offset, 8);
  return true;
}

const uint8_t* QNVByteReader::bytesAt(uint64_t offset, uint64_t count) const {
  if (!contains(offset, count)) return nullptr;
  return begin_ + cursor_ + offset;
}

QNVByteReader QNVByteReader::window(uint64_t count) const {
  const uint8_t* start = bytesAt(0, count);
  if (start == nullptr) return {begin_, begin_};
  return {start, start + count};
}

}  // namespace plexora

#include "util/qnv/mp4/QNVByteReader.h"

namespace plexora {

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

#include "util/qnv/mp4/QNVMp4BoxReading.h"

namespace plexora {

QNVMp4HeaderRead readQNVMp4BoxHeader(const QNVByteReader& reader, QNVMp4BoxHeader& out) {
  uint32_t size = 0;
  uint32_t type = 0;
  if (!reader.readU32(0, size) || !reader.readU32(4, type)) return QNVMp4HeaderRead::kTruncated;
  out.type = type;
  if (size == 1) {
    uint64_t largeSize = 0;
    if (!reader.readU64(8, largeSize)) return QNVMp4HeaderRead::kNeedsLargeSize;
    if (largeSize < kQNVMp4LargeBoxHeaderSize) return QNVMp4HeaderRead::kMalformed;
    out.size = largeSize;
    out.headerSize = kQNVMp4LargeBoxHeaderSize;
    return QNVMp4HeaderRead::kRead;
  }
  if (size < kQNVMp4BoxHeaderSize) return QNVMp4HeaderRead::kMalformed;
  out.size = size;
  out.headerSize = kQNVMp4BoxHeaderSize;
  return QNVMp4HeaderRead::kRead;
}

}  // namespace plexora

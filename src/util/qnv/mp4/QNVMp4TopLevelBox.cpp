#include "util/qnv/mp4/QNVMp4TopLevelBox.h"

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kAtomLengthNotPositive = "all atom length should be strictly positive";

}  // namespace

QNVMp4BoxSearch findQNVMp4TopLevelBox(QNVMp4StreamingReader& reader, uint32_t type, QNVMp4BoxHeader& header,
                                      uint64_t& skipped) {
  while (true) {
    const uint8_t* bytes = reader.bytesAtHead(kQNVMp4BoxHeaderSize);
    if (bytes == nullptr) return QNVMp4BoxSearch::kNeedMoreData;
    QNVMp4HeaderRead read = readQNVMp4BoxHeader(QNVByteReader(bytes, bytes + kQNVMp4BoxHeaderSize), header);
    if (read == QNVMp4HeaderRead::kNeedsLargeSize) {
      bytes = reader.bytesAtHead(kQNVMp4LargeBoxHeaderSize);
      if (bytes == nullptr) return QNVMp4BoxSearch::kNeedMoreData;
      read = readQNVMp4BoxHeader(QNVByteReader(bytes, bytes + kQNVMp4LargeBoxHeaderSize), header);
    }
    if (read != QNVMp4HeaderRead::kRead) {
      OV_LOG(kOVAdLogLevelDebug, "%s", kAtomLengthNotPositive);
      return QNVMp4BoxSearch::kMalformed;
    }
    if (header.type == type) return QNVMp4BoxSearch::kFound;
    reader.moveHead(header.size);
    skipped += header.size;
  }
}

}  // namespace plexora

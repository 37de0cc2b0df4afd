#include "util/qnv/asset/OVAssetLinearReader.h"

namespace plexora {

const uint8_t* OVAssetLinearReader::bytesAtHead(int64_t count) {
  if (count < 0) return nullptr;
  return distributor_->bytesAtHead(static_cast<uint64_t>(count), kQNVDataBlockHeadBoxParser);
}

void OVAssetLinearReader::moveHead(uint64_t count) {
  offset_ = count > UINT64_MAX - offset_ ? UINT64_MAX : offset_ + count;
  distributor_->moveHeadTo(offset_, kQNVDataBlockHeadBoxParser);
}

}  // namespace plexora

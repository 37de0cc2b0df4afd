// The MP4 box parser's streaming reader over head 0 of a data block
// distributor.
//
// Thread safety: one reader thread at a time; the distributor it reads is
// shared. Ownership: the reader holds its distributor strongly.
#pragma once

#include <memory>

#include "util/qnv/asset/QNVDataBlockDistributor.h"
#include "util/qnv/mp4/QNVMp4StreamingReader.h"

namespace plexora {

class OVAssetLinearReader final : public QNVMp4StreamingReader {
 public:
  explicit OVAssetLinearReader(std::shared_ptr<QNVDataBlockDistributor> distributor)
      : distributor_(std::move(distributor)) {}

  [[nodiscard]] const uint8_t* bytesAtHead(int64_t count) override;
  // Adds the count to the offset and moves the distributor's head there.
  void moveHead(uint64_t count) override;

  uint64_t offset() const { return offset_; }
  // Does not move the distributor's head.
  void setOffset(uint64_t offset) { offset_ = offset; }

 private:
  std::shared_ptr<QNVDataBlockDistributor> distributor_;
  uint64_t offset_ = 0;
};

}  // namespace plexora

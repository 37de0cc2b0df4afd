// Bytes held as a list of shared, immutable blocks, each seen through a
// window; appending a buffer or a block never copies bytes. A range is
// contiguous when one block holds all of it; any range can be copied out.
//
// Thread safety: a value; copies share the blocks, which never change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plexora::platform {

class BlockBuffer {
 public:
  using Block = std::shared_ptr<const std::vector<uint8_t>>;

  BlockBuffer() = default;
  // One block that owns `bytes`.
  static BlockBuffer withBytes(std::vector<uint8_t> bytes);

  // Appends `length` bytes of `block` from `offset`; false (and nothing
  // appended) when that range is not inside the block.
  bool appendBlock(Block block, size_t offset, size_t length);
  void appendBuffer(const BlockBuffer& other);

  size_t dataLength() const { return length_; }
  bool isEmpty() const { return length_ == 0; }
  bool isRangeContiguous(size_t offset, size_t length) const;
  // A pointer to the range when one block holds it, else null.
  const uint8_t* dataPointer(size_t offset, size_t length) const;
  // Copies the range into `destination`; false when it is not inside the
  // buffer.
  bool copyDataBytes(size_t offset, size_t length, uint8_t* destination) const;
  // The same bytes in one block.
  BlockBuffer contiguousCopy() const;

 private:
  struct Piece {
    Block block;
    size_t offset;  // into the block
    size_t length;
  };
  // The piece holding byte `offset` and where in the buffer it starts.
  const Piece* pieceAt(size_t offset, size_t& pieceStart) const;

  std::vector<Piece> pieces_;
  size_t length_ = 0;
};

}  // namespace plexora::platform

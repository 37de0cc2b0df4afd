#include "platform/media/BlockBuffer.h"

#include <algorithm>
#include <cstring>

namespace plexora::platform {

BlockBuffer BlockBuffer::withBytes(std::vector<uint8_t> bytes) {
  BlockBuffer buffer;
  const size_t length = bytes.size();
  buffer.appendBlock(std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), 0, length);
  return buffer;
}

bool BlockBuffer::appendBlock(Block block, size_t offset, size_t length) {
  if (!block || offset > block->size() || length > block->size() - offset) return false;
  if (length == 0) return true;
  pieces_.push_back({std::move(block), offset, length});
  length_ += length;
  return true;
}

void BlockBuffer::appendBuffer(const BlockBuffer& other) {
  pieces_.insert(pieces_.end(), other.pieces_.begin(), other.pieces_.end());
  length_ += other.length_;
}

const BlockBuffer::Piece* BlockBuffer::pieceAt(size_t offset, size_t& pieceStart) const {
  pieceStart = 0;
  for (const Piece& piece : pieces_) {
    if (offset < pieceStart + piece.length) return &piece;
    pieceStart += piece.length;
  }
  return nullptr;
}

bool BlockBuffer::isRangeContiguous(size_t offset, size_t length) const {
  return dataPointer(offset, length) != nullptr;
}

const uint8_t* BlockBuffer::dataPointer(size_t offset, size_t length) const {
  if (offset > length_ || length > length_ - offset || length == 0) return nullptr;
  size_t pieceStart = 0;
  const Piece* piece = pieceAt(offset, pieceStart);
  if (piece == nullptr || offset + length > pieceStart + piece->length) return nullptr;
  return piece->block->data() + piece->offset + (offset - pieceStart);
}

bool BlockBuffer::copyDataBytes(size_t offset, size_t length, uint8_t* destination) const {
  if (offset > length_ || length > length_ - offset) return false;
  size_t pieceStart = 0;
  for (const Piece& piece : pieces_) {
    if (length == 0) break;
    const size_t pieceEnd = pieceStart + piece.length;
    if (offset < pieceEnd) {
      const size_t count = std::min(length, pieceEnd - offset);
      std::memcpy(destination, piece.block->data() + piece.offset + (offset - pieceStart), count);
      destination += count;
      offset += count;
      length -= count;
    }
    pieceStart = pieceEnd;
  }
  return true;
}

BlockBuffer BlockBuffer::contiguousCopy() const {
  std::vector<uint8_t> bytes(length_);
  copyDataBytes(0, length_, bytes.data());
  return withBytes(std::move(bytes));
}

}  // namespace plexora::platform

// Helpers every MP4 box reader shares: the box header (32- or 64-bit size),
// the walk over a container's children, and the check that ends a read.
//
// A read that fails leaves the records it was filling half-filled; the parse
// entry points discard them.
//
// Thread safety: pure functions over the caller's bytes.
#pragma once

#include <cstdint>

#include "platform/media/FourCharCode.h"
#include "util/qnv/mp4/QNVByteReader.h"

// Ends the enclosing reader with false when the condition does not hold.
#define QNV_MP4_CHECK(condition) \
  do {                           \
    if (!(condition)) return false; \
  } while (0)

namespace plexora {

using platform::fourCharCode;

inline constexpr uint32_t kQNVMp4BoxHeaderSize = 8;
inline constexpr uint32_t kQNVMp4LargeBoxHeaderSize = 16;
inline constexpr uint32_t kQNVMp4FullBoxHeaderSize = 12;

struct QNVMp4BoxHeader {
  uint64_t size = 0;  // the whole box, header included
  uint32_t type = 0;
  uint32_t headerSize = 0;
};

enum class QNVMp4HeaderRead {
  kRead,
  // A size of 1 announces a 64-bit size in the next 8 bytes, which the reader
  // does not hold.
  kNeedsLargeSize,
  // The reader holds fewer than 8 bytes.
  kTruncated,
  // Size 0, or a size smaller than the header itself.
  kMalformed,
};

// Reads the header at the reader's cursor.
[[nodiscard]] QNVMp4HeaderRead readQNVMp4BoxHeader(const QNVByteReader& reader, QNVMp4BoxHeader& out);

// Whether a child's 32-bit size is too small for any box but not 0: such a
// child (a 'free' of size 3) ends its parent's children, as other readers
// take it.
[[nodiscard]] inline bool qnvMp4EndsChildren(const QNVByteReader& child) {
  uint32_t size = 0;
  return child.readU32(0, size) && size > 1 && size < kQNVMp4BoxHeaderSize;
}

// Calls visit(header, box) for each child box that starts `firstChild` bytes
// into `parent`, `box` being a reader over exactly that child. Fails on a
// malformed header, a child larger than what is left of its parent, or a
// failed visit; fewer than 8 trailing bytes are ignored, and so is what
// follows a child too small to be a box (qnvMp4EndsChildren).
template <typename Visit>
[[nodiscard]] bool forEachQNVMp4ChildBox(QNVByteReader parent, uint64_t firstChild, Visit&& visit) {
  parent.advance(firstChild);
  while (parent.bytesLeft() >= kQNVMp4BoxHeaderSize) {
    if (qnvMp4EndsChildren(parent)) return true;
    QNVMp4BoxHeader header;
    QNV_MP4_CHECK(readQNVMp4BoxHeader(parent, header) == QNVMp4HeaderRead::kRead);
    QNV_MP4_CHECK(header.size <= parent.bytesLeft());
    QNV_MP4_CHECK(visit(header, parent.window(header.size)));
    parent.advance(header.size);
  }
  return true;
}

// Whether `count` entries of `entrySize` bytes fit between `offset` and the
// end of the box: checked before anything is sized from a count.
[[nodiscard]] inline bool qnvMp4EntriesFit(const QNVByteReader& box, uint64_t offset, uint64_t count,
                                           uint64_t entrySize) {
  const uint64_t left = box.bytesLeft();
  return offset <= left && count <= (left - offset) / entrySize;
}

}  // namespace plexora

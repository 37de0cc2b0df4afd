// A decoded picture in 4:2:0, in one of two layouts: bi-planar (NV12), a
// full-size luma plane and a half-size plane of interleaved Cb and Cr; or
// planar (I420), the half-size Cb and Cr planes apart, as libavcodec's H.264
// decoder writes them. Rows are padded to kRowAlignment bytes and the planes
// start on that alignment, so that a decoder's SIMD code may write them.
//
// Plane addresses are handed out only while the buffer is locked; a lock for
// reading refuses writes until every lock is released. Attachments carry what
// a renderer needs to convert the colours (kPixelBufferYCbCrMatrixKey,
// kPixelBufferYCbCrFullRangeKey).
//
// Thread safety: none; one owner at a time. Ownership: shared through
// std::shared_ptr between the decoder, the frame queue and the renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/value/Value.h"

namespace plexora::platform {

inline constexpr const char* kPixelBufferYCbCrMatrixKey = "YCbCrMatrix";
inline constexpr const char* kPixelBufferYCbCrMatrixITU_R_709_2 = "ITU_R_709_2";
inline constexpr const char* kPixelBufferYCbCrMatrixITU_R_601_4 = "ITU_R_601_4";
// True when the samples use the full 0-255 range (JPEG style); absent or
// false: video range (luma 16-235, chroma 16-240).
inline constexpr const char* kPixelBufferYCbCrFullRangeKey = "YCbCrFullRange";

enum class PixelFormat { kNV12, kI420 };

class PixelBuffer {
 public:
  static constexpr size_t kRowAlignment = 64;

  enum class LockFlags { kReadWrite, kReadOnly };

  // None for a size of 0 or one beyond 16384 a side. The planes start out
  // zero.
  static std::shared_ptr<PixelBuffer> createNV12(size_t width, size_t height);
  // The same, with planes left as the allocator gives them: for a writer
  // that fills every row of both planes before anyone reads them (a
  // decoder), which spares clearing megabytes it is about to overwrite.
  static std::shared_ptr<PixelBuffer> createNV12ForWriting(size_t width, size_t height);
  // Planar, for a decoder writing straight into it: planes left as the
  // allocator gives them, and room for the `codedWidth` by `codedHeight`
  // picture (at least the visible size) the decoder writes whole, padding
  // macroblocks included. Only the visible size is reported.
  static std::shared_ptr<PixelBuffer> createI420ForWriting(size_t width, size_t height, size_t codedWidth,
                                                          size_t codedHeight);
  // Where a planar picture's stream crops it: the visible `width` by
  // `height` region starts `left` columns and `top` rows into the coded
  // picture, and the planes' addresses and sizes are then the region's (rows
  // keep their stride). The decoder writes the coded picture whole, so a
  // crop at the top or left costs no copy. `left` and `top` must be even,
  // whole chroma samples in 4:2:0. False, and nothing changed, for a bi-planar
  // buffer or a region outside the coded picture.
  bool setVisibleRegion(size_t left, size_t top, size_t width, size_t height);
  // Bytes of every plane, padding included.
  size_t byteCount() const { return byteCount_; }

  PixelFormat pixelFormat() const { return format_; }
  size_t width() const { return width_; }
  size_t height() const { return height_; }
  // The coded size a planar buffer was made with; the visible size otherwise.
  size_t codedWidth() const { return codedWidth_; }
  size_t codedHeight() const { return codedHeight_; }
  size_t planeCount() const { return format_ == PixelFormat::kNV12 ? 2 : 3; }
  size_t widthOfPlane(size_t plane) const;
  size_t heightOfPlane(size_t plane) const;
  size_t bytesPerRowOfPlane(size_t plane) const;

  void lockBaseAddress(LockFlags flags);
  // False when the buffer was not locked.
  bool unlockBaseAddress(LockFlags flags);
  bool isLocked() const { return readLocks_ + writeLocks_ > 0; }
  // Null unless locked; a read-only lock gives only the const form. The
  // address of the visible region's first sample.
  uint8_t* baseAddressOfPlane(size_t plane);
  const uint8_t* baseAddressOfPlane(size_t plane) const;

  const Dictionary& attachments() const { return attachments_; }
  void setAttachment(const std::string& key, Value value) { attachments_.set(key, std::move(value)); }
  void removeAllAttachments() { attachments_ = Dictionary{}; }

 private:
  struct AlignedDelete {
    void operator()(uint8_t* bytes) const;
  };

  PixelBuffer(PixelFormat format, size_t width, size_t height, size_t codedWidth, size_t codedHeight, bool zeroed);
  // Rows a plane is allocated with: those of the coded size.
  size_t allocatedRowsOfPlane(size_t plane) const;
  size_t planeOffset(size_t plane) const;
  // planeOffset plus the visible region's origin within the plane.
  size_t visibleOffset(size_t plane) const;

  PixelFormat format_;
  size_t width_;
  size_t height_;
  size_t codedWidth_;
  size_t codedHeight_;
  size_t left_ = 0;
  size_t top_ = 0;
  size_t byteCount_;
  std::unique_ptr<uint8_t[], AlignedDelete> bytes_;
  unsigned readLocks_ = 0;
  unsigned writeLocks_ = 0;
  Dictionary attachments_;
};

}  // namespace plexora::platform

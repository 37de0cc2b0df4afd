// A decoded picture in the bi-planar 4:2:0 layout decoders write (NV12): a
// full-size luma plane and a half-size plane of interleaved Cb and Cr. Rows
// are padded to kRowAlignment bytes.
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

class PixelBuffer {
 public:
  static constexpr size_t kPlaneCount = 2;
  static constexpr size_t kRowAlignment = 64;

  enum class LockFlags { kReadWrite, kReadOnly };

  // None for a size of 0 or one beyond 16384 a side. The planes start out
  // zero.
  static std::shared_ptr<PixelBuffer> createNV12(size_t width, size_t height);
  // The same, with planes left as the allocator gives them: for a writer
  // that fills every row of both planes before anyone reads them (a
  // decoder), which spares clearing megabytes it is about to overwrite.
  static std::shared_ptr<PixelBuffer> createNV12ForWriting(size_t width, size_t height);
  // Bytes of both planes, padding included.
  size_t byteCount() const { return byteCount_; }

  size_t width() const { return width_; }
  size_t height() const { return height_; }
  size_t planeCount() const { return kPlaneCount; }
  size_t widthOfPlane(size_t plane) const;
  size_t heightOfPlane(size_t plane) const;
  size_t bytesPerRowOfPlane(size_t plane) const;

  void lockBaseAddress(LockFlags flags);
  // False when the buffer was not locked.
  bool unlockBaseAddress(LockFlags flags);
  bool isLocked() const { return readLocks_ + writeLocks_ > 0; }
  // Null unless locked; a read-only lock gives only the const form.
  uint8_t* baseAddressOfPlane(size_t plane);
  const uint8_t* baseAddressOfPlane(size_t plane) const;

  const Dictionary& attachments() const { return attachments_; }
  void setAttachment(const std::string& key, Value value) { attachments_.set(key, std::move(value)); }
  void removeAllAttachments() { attachments_ = Dictionary{}; }

 private:
  PixelBuffer(size_t width, size_t height, bool zeroed);
  size_t planeOffset(size_t plane) const { return plane == 0 ? 0 : bytesPerRowOfPlane(0) * heightOfPlane(0); }

  size_t width_;
  size_t height_;
  size_t byteCount_;
  std::unique_ptr<uint8_t[]> bytes_;
  unsigned readLocks_ = 0;
  unsigned writeLocks_ = 0;
  Dictionary attachments_;
};

}  // namespace plexora::platform

#include "platform/media/PixelBuffer.h"

#include <cstring>
#include <new>

namespace plexora::platform {

namespace {

constexpr size_t kMaxSide = 16384;
// libavcodec's SIMD code may read and write a little past a plane's last
// row, as its own buffers allow.
constexpr size_t kTrailingBytes = 2 * PixelBuffer::kRowAlignment;

size_t aligned(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

bool validSize(size_t width, size_t height) { return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide; }

}  // namespace

std::shared_ptr<PixelBuffer> PixelBuffer::createNV12(size_t width, size_t height) {
  if (!validSize(width, height)) return nullptr;
  return std::shared_ptr<PixelBuffer>(new PixelBuffer(PixelFormat::kNV12, width, height, width, height, true));
}

std::shared_ptr<PixelBuffer> PixelBuffer::createNV12ForWriting(size_t width, size_t height) {
  if (!validSize(width, height)) return nullptr;
  return std::shared_ptr<PixelBuffer>(new PixelBuffer(PixelFormat::kNV12, width, height, width, height, false));
}

std::shared_ptr<PixelBuffer> PixelBuffer::createI420ForWriting(size_t width, size_t height, size_t codedWidth,
                                                               size_t codedHeight) {
  if (!validSize(width, height) || codedWidth < width || codedHeight < height || codedWidth > 2 * kMaxSide ||
      codedHeight > 2 * kMaxSide) {
    return nullptr;
  }
  return std::shared_ptr<PixelBuffer>(
      new PixelBuffer(PixelFormat::kI420, width, height, codedWidth, codedHeight, false));
}

bool PixelBuffer::setVisibleRegion(size_t left, size_t top, size_t width, size_t height) {
  if (format_ != PixelFormat::kI420 || left % 2 != 0 || top % 2 != 0 || !validSize(width, height) ||
      left > codedWidth_ || width > codedWidth_ - left || top > codedHeight_ || height > codedHeight_ - top) {
    return false;
  }
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  return true;
}

void PixelBuffer::AlignedDelete::operator()(uint8_t* bytes) const {
  ::operator delete[](bytes, std::align_val_t{kRowAlignment});
}

PixelBuffer::PixelBuffer(PixelFormat format, size_t width, size_t height, size_t codedWidth, size_t codedHeight,
                         bool zeroed)
    : format_(format),
      width_(width),
      height_(height),
      codedWidth_(codedWidth),
      codedHeight_(codedHeight),
      byteCount_(planeOffset(planeCount() - 1) + bytesPerRowOfPlane(planeCount() - 1) * allocatedRowsOfPlane(planeCount() - 1)),
      bytes_(static_cast<uint8_t*>(::operator new[](byteCount_ + kTrailingBytes, std::align_val_t{kRowAlignment}))) {
  if (zeroed) std::memset(bytes_.get(), 0, byteCount_ + kTrailingBytes);
}

size_t PixelBuffer::allocatedRowsOfPlane(size_t plane) const {
  return plane == 0 ? codedHeight_ : (codedHeight_ + 1) / 2;
}

size_t PixelBuffer::planeOffset(size_t plane) const {
  size_t offset = 0;
  for (size_t before = 0; before < plane; ++before) offset += bytesPerRowOfPlane(before) * allocatedRowsOfPlane(before);
  return offset;
}

size_t PixelBuffer::visibleOffset(size_t plane) const {
  const size_t divisor = plane == 0 ? 1 : 2;
  return planeOffset(plane) + top_ / divisor * bytesPerRowOfPlane(plane) + left_ / divisor;
}

size_t PixelBuffer::widthOfPlane(size_t plane) const {
  if (plane >= planeCount()) return 0;
  return plane == 0 ? width_ : (width_ + 1) / 2;
}

size_t PixelBuffer::heightOfPlane(size_t plane) const {
  if (plane >= planeCount()) return 0;
  return plane == 0 ? height_ : (height_ + 1) / 2;
}

size_t PixelBuffer::bytesPerRowOfPlane(size_t plane) const {
  if (plane >= planeCount()) return 0;
  if (plane == 0) return aligned(codedWidth_, kRowAlignment);
  // An NV12 chroma plane holds a Cb and a Cr byte for every two luma
  // columns; an I420 one a single byte.
  const size_t chromaColumns = (codedWidth_ + 1) / 2;
  return aligned(format_ == PixelFormat::kNV12 ? chromaColumns * 2 : chromaColumns, kRowAlignment);
}

void PixelBuffer::lockBaseAddress(LockFlags flags) {
  if (flags == LockFlags::kReadOnly) {
    ++readLocks_;
  } else {
    ++writeLocks_;
  }
}

bool PixelBuffer::unlockBaseAddress(LockFlags flags) {
  unsigned& locks = flags == LockFlags::kReadOnly ? readLocks_ : writeLocks_;
  if (locks == 0) return false;
  --locks;
  return true;
}

uint8_t* PixelBuffer::baseAddressOfPlane(size_t plane) {
  if (writeLocks_ == 0 || readLocks_ > 0 || plane >= planeCount()) return nullptr;
  return bytes_.get() + visibleOffset(plane);
}

const uint8_t* PixelBuffer::baseAddressOfPlane(size_t plane) const {
  if (!isLocked() || plane >= planeCount()) return nullptr;
  return bytes_.get() + visibleOffset(plane);
}

}  // namespace plexora::platform

#include "platform/media/PixelBuffer.h"

namespace plexora::platform {

namespace {

constexpr size_t kMaxSide = 16384;

size_t aligned(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace

std::shared_ptr<PixelBuffer> PixelBuffer::createNV12(size_t width, size_t height) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  return std::shared_ptr<PixelBuffer>(new PixelBuffer(width, height, true));
}

std::shared_ptr<PixelBuffer> PixelBuffer::createNV12ForWriting(size_t width, size_t height) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  return std::shared_ptr<PixelBuffer>(new PixelBuffer(width, height, false));
}

PixelBuffer::PixelBuffer(size_t width, size_t height, bool zeroed)
    : width_(width),
      height_(height),
      byteCount_(planeOffset(1) + bytesPerRowOfPlane(1) * heightOfPlane(1)),
      bytes_(zeroed ? new uint8_t[byteCount_]() : new uint8_t[byteCount_]) {}

size_t PixelBuffer::widthOfPlane(size_t plane) const {
  if (plane >= kPlaneCount) return 0;
  return plane == 0 ? width_ : (width_ + 1) / 2;
}

size_t PixelBuffer::heightOfPlane(size_t plane) const {
  if (plane >= kPlaneCount) return 0;
  return plane == 0 ? height_ : (height_ + 1) / 2;
}

size_t PixelBuffer::bytesPerRowOfPlane(size_t plane) const {
  if (plane >= kPlaneCount) return 0;
  // The chroma plane holds a Cb and a Cr byte for every two luma columns.
  const size_t rowBytes = plane == 0 ? width_ : widthOfPlane(1) * 2;
  return aligned(rowBytes, kRowAlignment);
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
  if (writeLocks_ == 0 || readLocks_ > 0 || plane >= kPlaneCount) return nullptr;
  return bytes_.get() + planeOffset(plane);
}

const uint8_t* PixelBuffer::baseAddressOfPlane(size_t plane) const {
  if (!isLocked() || plane >= kPlaneCount) return nullptr;
  return bytes_.get() + planeOffset(plane);
}

}  // namespace plexora::platform

#include "platform/ui/PixelBufferPool.h"

#include <utility>

namespace plexora::platform {

namespace {
// A buffer serves a request of at least this share of its capacity: a far
// larger one would hold memory the image does not use.
constexpr std::size_t kLargestWasteFactor = 2;
}  // namespace

PixelBufferPool& PixelBufferPool::shared() {
  // Never torn down: images freed during exit still give their buffers.
  static auto* const pool = new PixelBufferPool;
  return *pool;
}

Bytes PixelBufferPool::take(std::size_t size) {
  Bytes buffer;
  if (size >= kMinPooledBytes) {
    std::lock_guard lock(mutex_);
    const auto found = buffers_.lower_bound(size);
    if (found != buffers_.end() && found->first / kLargestWasteFactor <= size) {
      buffer = std::move(found->second);
      heldBytes_ -= found->first;
      buffers_.erase(found);
    }
  }
  // Within the capacity, a resize moves no memory.
  buffer.resize(size);
  return buffer;
}

void PixelBufferPool::give(Bytes buffer) {
  const std::size_t capacity = buffer.capacity();
  if (capacity < kMinPooledBytes) return;
  std::lock_guard lock(mutex_);
  // A buffer that does not fit is freed after the lock, by its destructor.
  if (heldBytes_ + capacity > kMaxHeldBytes) return;
  heldBytes_ += capacity;
  buffers_.emplace(capacity, std::move(buffer));
}

void PixelBufferPool::clear() {
  std::multimap<std::size_t, Bytes> released;
  std::lock_guard lock(mutex_);
  released.swap(buffers_);
  heldBytes_ = 0;
}

std::size_t PixelBufferPool::heldBytes() const {
  std::lock_guard lock(mutex_);
  return heldBytes_;
}

}  // namespace plexora::platform

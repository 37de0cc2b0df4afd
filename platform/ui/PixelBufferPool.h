// Pixel buffers of images that are gone, kept for the next images of the
// same size. A decoded cover is megabytes: from the allocator it is fresh
// memory each time (mapped, zero-filled and faulted in page by page, and
// unmapped again when the image goes, interrupting every running thread),
// and with a set of native ads decoding at once that cost several times the
// decoding itself. A buffer from here is already in place.
//
// Thread safety: every member may be called from any thread.
// Ownership: the pool owns the buffers it holds, at most kMaxHeldBytes of
// them; a buffer taken belongs to the caller.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>

#include "platform/Export.h"
#include "platform/foundation/Bytes.h"

namespace plexora::platform {

class PLEXORA_EXPORT PixelBufferPool final {
 public:
  // Smaller buffers are cheap from the allocator and not kept.
  static constexpr std::size_t kMinPooledBytes = std::size_t{256} * 1024;
  // About as much as the resource cache keeps of images.
  static constexpr std::size_t kMaxHeldBytes = std::size_t{32} * 1024 * 1024;

  static PixelBufferPool& shared();

  // A buffer of `size` bytes whose contents are whatever an earlier image
  // left (the caller writes every byte), or a new zeroed one. Throws
  // std::bad_alloc as a vector would.
  Bytes take(std::size_t size);
  // Keeps the buffer for a later take, unless it is small or the pool full.
  void give(Bytes buffer);
  // Hands every held buffer back to the system (low memory).
  void clear();
  std::size_t heldBytes() const;

 private:
  mutable std::mutex mutex_;
  // By capacity.
  std::multimap<std::size_t, Bytes> buffers_;
  std::size_t heldBytes_ = 0;
};

}  // namespace plexora::platform

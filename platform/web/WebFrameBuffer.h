// The last frame a page's fdo backend exported, copied out of the engine's
// shared-memory buffer so the buffer goes back to the engine at once.
//
// Thread safety: main thread only (the backend exports on the engine's
// GLib context).
// Ownership: owned by the page's view backend and destroyed with it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/Image.h"

struct wl_shm_buffer;

namespace plexora::platform::detail {

class WebFrameBuffer final {
 public:
  // Copies the buffer's pixels; a format other than (A|X)RGB8888 is skipped.
  void store(wl_shm_buffer* buffer);
  // Straight RGBA of the last frame, or null before the first.
  std::shared_ptr<Image> image() const;
  bool hasFrame() const { return width_ > 0; }

 private:
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  bool opaque_ = false;
  // Premultiplied BGRA rows as the engine wrote them, without padding.
  std::vector<std::uint8_t> pixels_;
};

}  // namespace plexora::platform::detail

#include "platform/web/WebFrameBuffer.h"

#include <wayland-server.h>

#include <cstring>
#include <utility>

namespace plexora::platform::detail {

namespace {

constexpr std::uint32_t kBytesPerPixel = 4;

// A component above its alpha cannot come from a premultiplied colour; it
// is clamped rather than let wrap.
std::uint8_t unpremultiplied(std::uint8_t component, std::uint8_t alpha) {
  const unsigned bounded = component < alpha ? component : alpha;
  return static_cast<std::uint8_t>((bounded * 255u + alpha / 2u) / alpha);
}

}  // namespace

void WebFrameBuffer::store(wl_shm_buffer* buffer) {
  const std::uint32_t format = wl_shm_buffer_get_format(buffer);
  if (format != WL_SHM_FORMAT_ARGB8888 && format != WL_SHM_FORMAT_XRGB8888) {
    return;
  }
  const int width = wl_shm_buffer_get_width(buffer);
  const int height = wl_shm_buffer_get_height(buffer);
  const int stride = wl_shm_buffer_get_stride(buffer);
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * kBytesPerPixel;
  if (width <= 0 || height <= 0 || stride < 0 || static_cast<std::uint64_t>(stride) < rowBytes ||
      !isAllowedImageSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
    return;
  }
  pixels_.resize(rowBytes * static_cast<std::uint64_t>(height));
  wl_shm_buffer_begin_access(buffer);
  const auto* source = static_cast<const std::uint8_t*>(wl_shm_buffer_get_data(buffer));
  for (int row = 0; row < height; ++row) {
    std::memcpy(pixels_.data() + rowBytes * static_cast<std::uint64_t>(row),
                source + static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(row), rowBytes);
  }
  wl_shm_buffer_end_access(buffer);
  width_ = static_cast<std::uint32_t>(width);
  height_ = static_cast<std::uint32_t>(height);
  opaque_ = format == WL_SHM_FORMAT_XRGB8888;
}

std::shared_ptr<Image> WebFrameBuffer::image() const {
  if (!hasFrame()) {
    return nullptr;
  }
  Bytes rgba(pixels_.size());
  // The little-endian (A|X)RGB word lies in memory as B, G, R, A.
  for (std::size_t at = 0; at < pixels_.size(); at += kBytesPerPixel) {
    const std::uint8_t blue = pixels_[at];
    const std::uint8_t green = pixels_[at + 1];
    const std::uint8_t red = pixels_[at + 2];
    const std::uint8_t alpha = opaque_ ? 255 : pixels_[at + 3];
    if (alpha == 0) {
      continue;  // Bytes start zeroed: transparent black.
    }
    rgba[at] = alpha == 255 ? red : unpremultiplied(red, alpha);
    rgba[at + 1] = alpha == 255 ? green : unpremultiplied(green, alpha);
    rgba[at + 2] = alpha == 255 ? blue : unpremultiplied(blue, alpha);
    rgba[at + 3] = alpha;
  }
  return Image::fromRGBA(width_, height_, 1.0, std::move(rgba));
}

}  // namespace plexora::platform::detail

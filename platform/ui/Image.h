// A decoded bitmap: straight (not premultiplied) RGBA with 8 bits a
// component, rows top to bottom, and a scale that relates its pixels to the
// points of the UI model (point size = pixel size / scale).
//
// Images come from PNG or JPEG data (decode), from a fill colour (create),
// from a pixel buffer (fromRGBA) or over pixels another owner keeps
// (borrowRGBA). Every factory answers null instead of an image it cannot
// make: damaged, truncated or unsupported data, no pixels or the wrong number
// of them, a borrow without an owner, a scale that is not a positive finite
// number, or more than kMaxImagePixelCount pixels (which bounds what
// untrusted data can make the decoders allocate).
//
// Thread safety: the factories and the encoders may run on any thread. Readers
// on several threads may share an image; setPixel is for whoever builds the
// image, before it is handed to others, and never on borrowed pixels.
// Ownership: images travel as shared_ptr; they are not copyable (a copy is
// one fromRGBA call away when it is really wanted).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/Export.h"
#include "platform/foundation/Bytes.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

// 64 Mi pixels: 256 MiB of RGBA.
inline constexpr std::uint64_t kMaxImagePixelCount = std::uint64_t{64} * 1024 * 1024;

// Whether an image of that many pixels may be made: at least one, at most
// kMaxImagePixelCount. Decoders ask before they allocate.
PLEXORA_EXPORT bool isAllowedImageSize(std::uint64_t pixelWidth, std::uint64_t pixelHeight);

struct PLEXORA_EXPORT Pixel {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 0;

  bool operator==(const Pixel&) const = default;
};

class PLEXORA_EXPORT Image final {
 public:
  static constexpr std::size_t kBytesPerPixel = 4;

  // PNG (any colour type and bit depth, interlaced or not) or JPEG
  // (greyscale or colour), told apart by their signatures.
  static std::shared_ptr<Image> decode(ByteView bytes, double scale = 1.0);
  // Every pixel `fill`, its components clamped to 0...1 and rounded.
  static std::shared_ptr<Image> create(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Color fill);
  // Takes over `rgba`, which must hold exactly pixelWidth * pixelHeight
  // pixels.
  static std::shared_ptr<Image> fromRGBA(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Bytes rgba);
  // Reads `rgba` (exactly pixelWidth * pixelHeight pixels, rows packed)
  // where it lies, keeping `owner` until the image is freed: a decoded video
  // frame is megabytes, 30 times a second, and copying it out of the
  // decoder's buffer costs more than drawing it.
  static std::shared_ptr<Image> borrowRGBA(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale,
                                           std::shared_ptr<const void> owner, std::span<const std::uint8_t> rgba);

  // Pixels of its own go to the pixel buffer pool for the next image.
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  std::uint32_t pixelWidth() const { return pixelWidth_; }
  std::uint32_t pixelHeight() const { return pixelHeight_; }
  double scale() const { return scale_; }
  // In points.
  Size size() const;

  // x from the left, y from the top; throw std::out_of_range outside the
  // image. setPixel throws std::logic_error on borrowed pixels.
  Pixel pixel(std::uint32_t x, std::uint32_t y) const;
  void setPixel(std::uint32_t x, std::uint32_t y, Pixel value);

  // All pixels, pixelWidth * kBytesPerPixel bytes a row.
  std::span<const std::uint8_t> rgba() const { return pixels_; }

  // A non-interlaced 8-bit RGBA PNG of the pixels (the scale is not kept);
  // empty if the encoder fails.
  Bytes encodePNG() const;
  // A baseline JPEG of the pixels at `quality` (0 to 1, clamped), alpha
  // dropped; empty if the encoder fails.
  Bytes encodeJPEG(double quality) const;

 private:
  Image(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Bytes rgba);
  Image(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, std::shared_ptr<const void> owner,
        std::span<const std::uint8_t> rgba);

  std::size_t offsetOf(std::uint32_t x, std::uint32_t y) const;

  const std::uint32_t pixelWidth_;
  const std::uint32_t pixelHeight_;
  const double scale_;
  // Empty when the pixels are borrowed from owner_.
  Bytes rgba_;
  std::shared_ptr<const void> owner_;
  std::span<const std::uint8_t> pixels_;
};

}  // namespace plexora::platform

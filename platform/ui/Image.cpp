#include "platform/ui/Image.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "platform/ui/ImageJPEG.h"
#include "platform/ui/ImagePNG.h"
#include "platform/ui/PixelBufferPool.h"

namespace plexora::platform {
namespace {

constexpr const char* kBorrowedPixelsMessage = "the image's pixels are borrowed and cannot be set";

bool isUsableScale(double scale) { return std::isfinite(scale) && scale > 0.0; }

// Whether `byteCount` bytes are exactly the pixels of an image that may be
// made at that size and scale.
bool isUsablePixelBuffer(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, std::size_t byteCount) {
  return isUsableScale(scale) && isAllowedImageSize(pixelWidth, pixelHeight) &&
         byteCount == std::size_t{pixelWidth} * pixelHeight * Image::kBytesPerPixel;
}

std::uint8_t componentByte(double component) {
  // NaN fails both comparisons and ends up 0.
  const double clamped = component > 0.0 ? std::min(component, 1.0) : 0.0;
  return static_cast<std::uint8_t>(std::lround(clamped * 255.0));
}

}  // namespace

bool isAllowedImageSize(std::uint64_t pixelWidth, std::uint64_t pixelHeight) {
  if (pixelWidth == 0 || pixelHeight == 0) return false;
  // Checked one by one first so the product cannot overflow.
  if (pixelWidth > kMaxImagePixelCount || pixelHeight > kMaxImagePixelCount) return false;
  return pixelWidth * pixelHeight <= kMaxImagePixelCount;
}

std::shared_ptr<Image> Image::decode(ByteView bytes, double scale) {
  if (!isUsableScale(scale)) return nullptr;
  if (hasPNGSignature(bytes)) return decodePNG(bytes, scale);
  if (hasJPEGSignature(bytes)) return decodeJPEG(bytes, scale);
  return nullptr;
}

std::shared_ptr<Image> Image::create(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Color fill) {
  if (!isUsableScale(scale) || !isAllowedImageSize(pixelWidth, pixelHeight)) return nullptr;
  const std::uint8_t pattern[kBytesPerPixel] = {componentByte(fill.red), componentByte(fill.green),
                                                componentByte(fill.blue), componentByte(fill.alpha)};
  const std::size_t pixelCount = std::size_t{pixelWidth} * pixelHeight;
  Bytes rgba(pixelCount * kBytesPerPixel);
  for (std::size_t offset = 0; offset < rgba.size(); offset += kBytesPerPixel) {
    std::copy(std::begin(pattern), std::end(pattern), rgba.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  return std::shared_ptr<Image>(new Image(pixelWidth, pixelHeight, scale, std::move(rgba)));
}

std::shared_ptr<Image> Image::fromRGBA(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Bytes rgba) {
  if (!isUsablePixelBuffer(pixelWidth, pixelHeight, scale, rgba.size())) return nullptr;
  return std::shared_ptr<Image>(new Image(pixelWidth, pixelHeight, scale, std::move(rgba)));
}

std::shared_ptr<Image> Image::borrowRGBA(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale,
                                         std::shared_ptr<const void> owner, std::span<const std::uint8_t> rgba) {
  if (!owner || !isUsablePixelBuffer(pixelWidth, pixelHeight, scale, rgba.size())) return nullptr;
  return std::shared_ptr<Image>(new Image(pixelWidth, pixelHeight, scale, std::move(owner), rgba));
}

Image::~Image() {
  if (!rgba_.empty()) PixelBufferPool::shared().give(std::move(rgba_));
}

Image::Image(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, Bytes rgba)
    : pixelWidth_(pixelWidth), pixelHeight_(pixelHeight), scale_(scale), rgba_(std::move(rgba)), pixels_(rgba_) {}

Image::Image(std::uint32_t pixelWidth, std::uint32_t pixelHeight, double scale, std::shared_ptr<const void> owner,
             std::span<const std::uint8_t> rgba)
    : pixelWidth_(pixelWidth), pixelHeight_(pixelHeight), scale_(scale), owner_(std::move(owner)), pixels_(rgba) {}

Size Image::size() const { return {pixelWidth_ / scale_, pixelHeight_ / scale_}; }

std::size_t Image::offsetOf(std::uint32_t x, std::uint32_t y) const {
  if (x >= pixelWidth_ || y >= pixelHeight_) throw std::out_of_range("pixel outside the image");
  return (std::size_t{y} * pixelWidth_ + x) * kBytesPerPixel;
}

Pixel Image::pixel(std::uint32_t x, std::uint32_t y) const {
  const std::size_t offset = offsetOf(x, y);
  return {pixels_[offset], pixels_[offset + 1], pixels_[offset + 2], pixels_[offset + 3]};
}

void Image::setPixel(std::uint32_t x, std::uint32_t y, Pixel value) {
  if (owner_) throw std::logic_error(kBorrowedPixelsMessage);
  const std::size_t offset = offsetOf(x, y);
  rgba_[offset] = value.red;
  rgba_[offset + 1] = value.green;
  rgba_[offset + 2] = value.blue;
  rgba_[offset + 3] = value.alpha;
}

Bytes Image::encodePNG() const { return encodeRGBAAsPNG(pixelWidth_, pixelHeight_, pixels_); }

Bytes Image::encodeJPEG(double quality) const { return encodeRGBAAsJPEG(pixelWidth_, pixelHeight_, pixels_, quality); }

}  // namespace plexora::platform

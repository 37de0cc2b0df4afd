// What the resource cache's entries weigh against its total cost limit.
#include <cmath>
#include <limits>

#include "platform/ui/Image.h"
#include "util/cache/OVAdCache.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora {

namespace {

constexpr std::size_t kBytesPerPoint = 4;
constexpr std::size_t kRowAlignment = 16;
constexpr double kBytesPerBit = 0.125;

// Truncates toward zero; nothing below zero (or NaN) counts, and what does not
// fit counts as the most there is.
std::size_t truncatedSize(double value) {
  if (!(value > 0.0)) {
    return 0;
  }
  if (value >= static_cast<double>(std::numeric_limits<std::size_t>::max())) {
    return std::numeric_limits<std::size_t>::max();
  }
  return static_cast<std::size_t>(value);
}

std::size_t saturatingAdd(std::size_t a, std::size_t b) {
  return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max() : a + b;
}

std::size_t bitmapCost(double width, double height) {
  const std::size_t rowBytes =
      (truncatedSize(width) * kBytesPerPoint + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  return truncatedSize(height) * rowBytes;
}

std::size_t tracksCost(const QNVAssetForCache& asset, QNVMediaType mediaType) {
  std::size_t cost = 0;
  for (const QNVAssetTrackInfo& track : asset.tracksWithMediaType(mediaType)) {
    const double bytesPerSecond = static_cast<double>(track.estimatedDataRate * static_cast<float>(kBytesPerBit));
    cost = saturatingAdd(cost, truncatedSize(bytesPerSecond * track.durationSeconds));
  }
  return cost;
}

}  // namespace

std::size_t OVAdCache::costForImage(const platform::Image* image) {
  if (image == nullptr) {
    return 0;
  }
  const platform::Size size = image->size();
  return bitmapCost(size.width, size.height);
}

std::size_t OVAdCache::costForCIImage(const platform::Image* image) {
  if (image == nullptr) {
    return 0;
  }
  return bitmapCost(image->pixelWidth(), image->pixelHeight());
}

std::size_t OVAdCache::costForAVAsset(const QNVAssetForCache* asset) {
  if (asset == nullptr) {
    return 0;
  }
  return saturatingAdd(tracksCost(*asset, QNVMediaType::Video), tracksCost(*asset, QNVMediaType::Audio));
}

}  // namespace plexora

#include "platform/ui/Blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace plexora::platform {
namespace {

constexpr std::size_t kChannels = Image::kBytesPerPixel;
constexpr std::size_t kAlpha = 3;
constexpr float kFullComponent = 255.0f;
// Taps further out than this many standard deviations hold under 0.3% of
// the weight; each output is renormalised over the taps it uses.
constexpr double kReachInSigmas = 3.0;

// The probability that a normal variable with deviation sigma exceeds x:
// erfc keeps its precision far out in the tail, where 1 - cdf would not.
double upperTail(double x, double sigma) { return 0.5 * std::erfc(x / (sigma * std::sqrt(2.0))); }

// The weights along one axis of `length` samples. Sample k of the Gaussian
// is its integral over [k - 0.5, k + 0.5], so all samples of the unending
// kernel sum to exactly 1. The first and last input samples also take the
// weight of every tap beyond them, which is what repeating the edge pixel
// out to infinity amounts to.
class AxisWeights {
 public:
  AxisWeights(std::size_t length, double sigma) : length_(length) {
    const double reach = std::ceil(kReachInSigmas * sigma);
    reach_ = reach >= static_cast<double>(length - 1) ? length - 1 : static_cast<std::size_t>(reach);

    centre_.resize(2 * reach_ + 1);
    for (std::size_t distance = 0; distance <= reach_; ++distance) {
      const double d = static_cast<double>(distance);
      const double weight =
          distance == 0 ? 1.0 - 2.0 * upperTail(0.5, sigma) : upperTail(d - 0.5, sigma) - upperTail(d + 0.5, sigma);
      centre_[reach_ - distance] = centre_[reach_ + distance] = static_cast<float>(weight);
    }

    firstEdge_.resize(length);
    lastEdge_.resize(length);
    normaliser_.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
      const double position = static_cast<double>(i);
      // Taps at or before input 0, and at or after input length - 1.
      firstEdge_[i] = static_cast<float>(length == 1 ? 1.0 : upperTail(position - 0.5, sigma));
      lastEdge_[i] = static_cast<float>(upperTail(static_cast<double>(length - 1) - position - 0.5, sigma));
      double total = 0.0;
      for (std::size_t j = first(i); j <= last(i); ++j) total += weight(i, j);
      normaliser_[i] = total > 0.0 ? static_cast<float>(1.0 / total) : 0.0f;
    }
  }

  std::size_t first(std::size_t i) const { return i > reach_ ? i - reach_ : 0; }
  std::size_t last(std::size_t i) const { return std::min(i + reach_, length_ - 1); }

  // For i and j within first(i)...last(i), before normalising.
  float weight(std::size_t i, std::size_t j) const {
    if (j == 0) return firstEdge_[i];
    if (j == length_ - 1) return lastEdge_[i];
    return centre_[j + reach_ - i];
  }
  float normaliser(std::size_t i) const { return normaliser_[i]; }

 private:
  const std::size_t length_;
  std::size_t reach_ = 0;
  // By offset j - i + reach_.
  std::vector<float> centre_;
  std::vector<float> firstEdge_;
  std::vector<float> lastEdge_;
  std::vector<float> normaliser_;
};

void premultiply(const std::uint8_t* pixels, std::size_t count, float* out) {
  for (std::size_t p = 0; p < count; ++p, pixels += kChannels, out += kChannels) {
    const float alpha = pixels[kAlpha];
    for (std::size_t c = 0; c < kAlpha; ++c) out[c] = pixels[c] * alpha / kFullComponent;
    out[kAlpha] = alpha;
  }
}

std::uint8_t toByte(float value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, kFullComponent)));
}

void unpremultiply(const float* pixels, std::size_t count, std::uint8_t* out) {
  for (std::size_t p = 0; p < count; ++p, pixels += kChannels, out += kChannels) {
    const std::uint8_t alpha = toByte(pixels[kAlpha]);
    for (std::size_t c = 0; c < kAlpha; ++c) {
      out[c] = alpha == 0 ? 0 : toByte(pixels[c] * kFullComponent / pixels[kAlpha]);
    }
    out[kAlpha] = alpha;
  }
}

// Blurs each row of the premultiplied image along x into `out`.
void blurRows(const Image& image, const AxisWeights& weights, std::vector<float>& out) {
  const std::size_t width = image.pixelWidth();
  const std::size_t rowFloats = width * kChannels;
  std::vector<float> row(rowFloats);
  for (std::size_t y = 0; y < image.pixelHeight(); ++y) {
    premultiply(image.rgba().data() + y * rowFloats, width, row.data());
    float* target = out.data() + y * rowFloats;
    for (std::size_t x = 0; x < width; ++x) {
      float sum[kChannels] = {};
      for (std::size_t j = weights.first(x); j <= weights.last(x); ++j) {
        const float weight = weights.weight(x, j);
        for (std::size_t c = 0; c < kChannels; ++c) sum[c] += weight * row[j * kChannels + c];
      }
      for (std::size_t c = 0; c < kChannels; ++c) target[x * kChannels + c] = sum[c] * weights.normaliser(x);
    }
  }
}

// Blurs the row-blurred image along y, one whole output row at a time so
// every read runs along a row.
void blurColumns(const std::vector<float>& rows, std::size_t width, std::size_t height, const AxisWeights& weights,
                 Bytes& out) {
  const std::size_t rowFloats = width * kChannels;
  std::vector<float> sum(rowFloats);
  for (std::size_t y = 0; y < height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (std::size_t j = weights.first(y); j <= weights.last(y); ++j) {
      const float weight = weights.weight(y, j) * weights.normaliser(y);
      const float* source = rows.data() + j * rowFloats;
      for (std::size_t k = 0; k < rowFloats; ++k) sum[k] += weight * source[k];
    }
    unpremultiply(sum.data(), width, out.data() + y * rowFloats);
  }
}

std::shared_ptr<Image> copyOf(const Image& image) {
  return Image::fromRGBA(image.pixelWidth(), image.pixelHeight(), image.scale(),
                         Bytes(image.rgba().begin(), image.rgba().end()));
}

}  // namespace

std::shared_ptr<Image> gaussianBlur(const Image& image, double radius) {
  try {
    // Written so that NaN takes this branch too.
    if (!(radius > 0.0)) return copyOf(image);
    const std::size_t width = image.pixelWidth();
    const std::size_t height = image.pixelHeight();
    const AxisWeights alongX(width, radius);
    const AxisWeights alongY(height, radius);

    std::vector<float> rowBlurred(width * height * kChannels);
    blurRows(image, alongX, rowBlurred);
    Bytes rgba(width * height * kChannels);
    blurColumns(rowBlurred, width, height, alongY, rgba);
    return Image::fromRGBA(image.pixelWidth(), image.pixelHeight(), image.scale(), std::move(rgba));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace plexora::platform

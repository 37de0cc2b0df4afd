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

// Above this deviation the blur runs on a copy reduced by a whole factor,
// chosen so that the deviation left there is at least this many of its
// pixels: a card's background blur would otherwise weigh hundreds of taps
// for every pixel, seconds of work for one image.
constexpr double kLeastReducedSigma = 4.0;

// Premultiplied colour, four floats a pixel, rows packed.
struct Plane {
  std::size_t width = 0;
  std::size_t height = 0;
  std::vector<float> values;

  Plane(std::size_t w, std::size_t h) : width(w), height(h), values(w * h * kChannels) {}
  float* row(std::size_t y) { return values.data() + y * width * kChannels; }
  const float* row(std::size_t y) const { return values.data() + y * width * kChannels; }
};

void premultiply(const std::uint8_t* pixel, float* out) {
  const float alpha = pixel[kAlpha];
  for (std::size_t c = 0; c < kAlpha; ++c) out[c] = pixel[c] * alpha / kFullComponent;
  out[kAlpha] = alpha;
}

std::uint8_t toByte(float value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, kFullComponent)));
}

void unpremultiply(const float* pixel, std::uint8_t* out) {
  const std::uint8_t alpha = toByte(pixel[kAlpha]);
  for (std::size_t c = 0; c < kAlpha; ++c) out[c] = alpha == 0 ? 0 : toByte(pixel[c] * kFullComponent / pixel[kAlpha]);
  out[kAlpha] = alpha;
}

// Row y of the image, premultiplied, into `row`.
void premultiplyRow(const Image& image, std::size_t y, std::vector<float>& row) {
  const std::size_t width = image.pixelWidth();
  const std::uint8_t* pixels = image.rgba().data() + y * width * kChannels;
  for (std::size_t x = 0; x < width; ++x) premultiply(pixels + x * kChannels, row.data() + x * kChannels);
}

// One row of premultiplied pixels blurred along x into `target`.
void blurRow(const float* row, std::size_t width, const AxisWeights& weights, float* target) {
  for (std::size_t x = 0; x < width; ++x) {
    float sum[kChannels] = {};
    for (std::size_t j = weights.first(x); j <= weights.last(x); ++j) {
      const float weight = weights.weight(x, j);
      for (std::size_t c = 0; c < kChannels; ++c) sum[c] += weight * row[j * kChannels + c];
    }
    for (std::size_t c = 0; c < kChannels; ++c) target[x * kChannels + c] = sum[c] * weights.normaliser(x);
  }
}

// The image blurred along x, premultiplied.
Plane blurRows(const Image& image, const AxisWeights& weights) {
  Plane out(image.pixelWidth(), image.pixelHeight());
  std::vector<float> row(out.width * kChannels);
  for (std::size_t y = 0; y < out.height; ++y) {
    premultiplyRow(image, y, row);
    blurRow(row.data(), out.width, weights, out.row(y));
  }
  return out;
}

// Blurs along y, one whole output row at a time so every read runs along a
// row, and hands each finished row to `take`.
template <typename TakeRow>
void blurColumns(const Plane& plane, const AxisWeights& weights, TakeRow take) {
  const std::size_t rowFloats = plane.width * kChannels;
  std::vector<float> sum(rowFloats);
  for (std::size_t y = 0; y < plane.height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (std::size_t j = weights.first(y); j <= weights.last(y); ++j) {
      const float weight = weights.weight(y, j) * weights.normaliser(y);
      const float* source = plane.row(j);
      for (std::size_t k = 0; k < rowFloats; ++k) sum[k] += weight * source[k];
    }
    take(y, sum.data());
  }
}

// The whole Gaussian, tap by tap, straight into the answer's pixels.
Bytes blurredDirectly(const Image& image, double sigma) {
  const Plane rows = blurRows(image, AxisWeights(image.pixelWidth(), sigma));
  Bytes rgba(rows.width * rows.height * kChannels);
  blurColumns(rows, AxisWeights(rows.height, sigma), [&](std::size_t y, const float* row) {
    std::uint8_t* out = rgba.data() + y * rows.width * kChannels;
    for (std::size_t x = 0; x < rows.width; ++x) unpremultiply(row + x * kChannels, out + x * kChannels);
  });
  return rgba;
}

// Each factor x factor block averaged into one premultiplied pixel, with
// one more block beyond every edge. Pixels past the image's edges repeat
// the edge pixel, as the blur treats them: so the last blocks, which reach
// past the image when its size is no multiple of the factor, are whole
// blocks too, the grid stays even, and the blocks beyond the edges carry
// the edge pixels themselves rather than an average of the pixels next to
// them.
Plane reduced(const Image& image, std::size_t factor) {
  const std::size_t width = image.pixelWidth();
  const std::size_t height = image.pixelHeight();
  Plane out((width + factor - 1) / factor + 2, (height + factor - 1) / factor + 2);
  // The source pixel of each position along an axis, from one block before
  // the image to one after.
  const auto sources = [factor](std::size_t length, std::size_t blocks) {
    std::vector<std::size_t> source(blocks * factor);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = std::min(i < factor ? 0 : i - factor, length - 1);
    return source;
  };
  const std::vector<std::size_t> sourceColumn = sources(width, out.width);
  const std::vector<std::size_t> sourceRow = sources(height, out.height);
  const float share = 1.0f / static_cast<float>(factor * factor);
  std::vector<float> row(width * kChannels);
  for (std::size_t i = 0; i < sourceRow.size(); ++i) {
    premultiplyRow(image, sourceRow[i], row);
    float* target = out.row(i / factor);
    for (std::size_t j = 0; j < sourceColumn.size(); ++j) {
      for (std::size_t c = 0; c < kChannels; ++c) {
        target[(j / factor) * kChannels + c] += share * row[sourceColumn[j] * kChannels + c];
      }
    }
  }
  return out;
}

// Where output pixel `i` falls between the blocks along one axis: the
// lower neighbour and the upper one's share. A block stands at its centre,
// and block 1 is the image's first.
struct Between {
  std::size_t lower;
  std::size_t upper;
  float share;
};

Between between(std::size_t i, std::size_t factor, std::size_t blocks) {
  const double f = static_cast<double>(factor);
  const double position = std::clamp((static_cast<double>(i) - (f - 1.0) / 2.0) / f + 1.0, 0.0,
                                     static_cast<double>(blocks - 1));
  const auto lower = static_cast<std::size_t>(position);
  return {lower, std::min(lower + 1, blocks - 1), static_cast<float>(position - static_cast<double>(lower))};
}

// The blocks brought back to width x height pixels by bilinear
// interpolation.
Bytes enlarged(const Plane& plane, std::size_t factor, std::size_t width, std::size_t height) {
  Bytes rgba(width * height * kChannels);
  std::vector<Between> columns(width);
  for (std::size_t x = 0; x < width; ++x) columns[x] = between(x, factor, plane.width);
  for (std::size_t y = 0; y < height; ++y) {
    const Between rows = between(y, factor, plane.height);
    const float* above = plane.row(rows.lower);
    const float* below = plane.row(rows.upper);
    std::uint8_t* out = rgba.data() + y * width * kChannels;
    for (std::size_t x = 0; x < width; ++x) {
      const Between& column = columns[x];
      float pixel[kChannels];
      for (std::size_t c = 0; c < kChannels; ++c) {
        const float top = above[column.lower * kChannels + c] +
                          column.share * (above[column.upper * kChannels + c] - above[column.lower * kChannels + c]);
        const float bottom = below[column.lower * kChannels + c] +
                             column.share * (below[column.upper * kChannels + c] - below[column.lower * kChannels + c]);
        pixel[c] = top + rows.share * (bottom - top);
      }
      unpremultiply(pixel, out + x * kChannels);
    }
  }
  return rgba;
}

// A wide blur on a reduced copy. Averaging blocks of `factor` pixels and
// interpolating back blur a little themselves (variances (factor^2 - 1) / 12
// and factor^2 / 6 along each axis), so the reduced copy is blurred by what
// is left of the asked variance.
Bytes blurredThroughReducedCopy(const Image& image, double sigma, std::size_t factor) {
  const double f = static_cast<double>(factor);
  const double left = sigma * sigma - (f * f - 1.0) / 12.0 - f * f / 6.0;
  const double reducedSigma = std::sqrt(left) / f;
  const Plane blocks = reduced(image, factor);
  Plane rows(blocks.width, blocks.height);
  const AxisWeights alongX(blocks.width, reducedSigma);
  for (std::size_t y = 0; y < blocks.height; ++y) blurRow(blocks.row(y), blocks.width, alongX, rows.row(y));
  Plane blurredBlocks(blocks.width, blocks.height);
  blurColumns(rows, AxisWeights(blocks.height, reducedSigma), [&](std::size_t y, const float* row) {
    std::copy(row, row + blocks.width * kChannels, blurredBlocks.row(y));
  });
  return enlarged(blurredBlocks, factor, image.pixelWidth(), image.pixelHeight());
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
    const double longerSide = static_cast<double>(std::max(image.pixelWidth(), image.pixelHeight()));
    // A kernel wider than the image costs no more than the image's side:
    // reducing further would leave a copy of a pixel or two.
    const double factor = std::floor(std::min(radius, longerSide) / kLeastReducedSigma);
    Bytes rgba = factor >= 2.0 ? blurredThroughReducedCopy(image, radius, static_cast<std::size_t>(factor))
                               : blurredDirectly(image, radius);
    return Image::fromRGBA(image.pixelWidth(), image.pixelHeight(), image.scale(), std::move(rgba));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace plexora::platform

#include "platform/ui/Blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace plexora::platform {
namespace {

std::shared_ptr<Image> filled(std::uint32_t width, std::uint32_t height, Pixel pixel, double scale = 1.0) {
  auto image = Image::create(width, height, scale, Color::clear());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) image->setPixel(x, y, pixel);
  }
  return image;
}

bool near(const Pixel& a, const Pixel& b, int tolerance) {
  return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
         std::abs(a.blue - b.blue) <= tolerance && std::abs(a.alpha - b.alpha) <= tolerance;
}

// The weight a Gaussian of deviation sigma puts on [-0.5, 0.5], and on
// everything up to 0.5.
double centreWeight(double sigma) { return std::erf(0.5 / (sigma * std::sqrt(2.0))); }
double weightUpToHalf(double sigma) { return 0.5 + 0.5 * centreWeight(sigma); }

TEST(BlurTest, FlatImagesStayFlatUpToTheirEdges) {
  const struct {
    std::uint32_t width;
    std::uint32_t height;
    Pixel pixel;
    double radius;
    int tolerance;
  } cases[] = {
      {20, 10, {200, 100, 50, 255}, 3.0, 0},
      // Kernels wider than the image reach far past every edge.
      {20, 10, {200, 100, 50, 255}, 50.0, 0},
      {20, 10, {200, 100, 50, 255}, 1e9, 0},
      {9, 1, {10, 20, 30, 255}, 2.0, 0},
      {1, 1, {10, 20, 30, 255}, 5.0, 0},
      // Premultiplying and back costs at most a level.
      {12, 12, {200, 100, 50, 128}, 4.0, 1},
  };
  for (const auto& c : cases) {
    const auto blurred = gaussianBlur(*filled(c.width, c.height, c.pixel), c.radius);
    ASSERT_NE(blurred, nullptr);
    for (std::uint32_t y = 0; y < c.height; ++y) {
      for (std::uint32_t x = 0; x < c.width; ++x) {
        const Pixel actual = blurred->pixel(x, y);
        ASSERT_TRUE(near(actual, c.pixel, c.tolerance))
            << c.width << "x" << c.height << " radius " << c.radius << " at (" << x << ", " << y
            << "): " << int{actual.red} << " " << int{actual.green} << " " << int{actual.blue} << " "
            << int{actual.alpha};
      }
    }
  }
}

TEST(BlurTest, AnImpulseSpreadsSymmetricallyAndKeepsItsWeight) {
  constexpr std::uint32_t kSide = 41;
  constexpr std::uint32_t kCentre = kSide / 2;
  // Small enough that 8-bit rounding loses little of the tails.
  constexpr double kSigma = 1.0;
  auto image = filled(kSide, kSide, Pixel{0, 0, 0, 0});
  image->setPixel(kCentre, kCentre, Pixel{255, 255, 255, 255});

  const auto blurred = gaussianBlur(*image, kSigma);
  ASSERT_NE(blurred, nullptr);

  // The radius is the deviation in pixels.
  const double expectedCentre = 255.0 * centreWeight(kSigma) * centreWeight(kSigma);
  EXPECT_NEAR(blurred->pixel(kCentre, kCentre).alpha, expectedCentre, 1.0);

  double total = 0.0;
  for (std::uint32_t y = 0; y < kSide; ++y) {
    for (std::uint32_t x = 0; x < kSide; ++x) {
      const Pixel pixel = blurred->pixel(x, y);
      total += pixel.alpha;
      const Pixel mirrored = blurred->pixel(kSide - 1 - x, y);
      const Pixel flipped = blurred->pixel(x, kSide - 1 - y);
      const Pixel transposed = blurred->pixel(y, x);
      EXPECT_TRUE(near(pixel, mirrored, 1) && near(pixel, flipped, 1) && near(pixel, transposed, 1)) << x << ", " << y;
      // The transparent black around the impulse lends it no darkness.
      if (pixel.alpha > 0) {
        EXPECT_EQ(pixel, (Pixel{255, 255, 255, pixel.alpha})) << x << ", " << y;
      }
    }
  }
  EXPECT_NEAR(total / 255.0, 1.0, 0.03);
}

// The Gaussian blur of an opaque image, in doubles, straight from its
// definition: each tap weighs the kernel's integral over its pixel, and taps
// beyond the edges read the edge pixel.
std::vector<double> referenceBlur(const std::vector<double>& values, std::size_t width, std::size_t height,
                                  double sigma) {
  const auto weight = [sigma](double distance) {
    const double scale = sigma * std::sqrt(2.0);
    return 0.5 * (std::erf((distance + 0.5) / scale) - std::erf((distance - 0.5) / scale));
  };
  const auto reach = static_cast<long>(std::ceil(6.0 * sigma));
  const auto clampTo = [](long i, std::size_t length) {
    return static_cast<std::size_t>(std::clamp(i, 0L, static_cast<long>(length) - 1));
  };
  std::vector<double> rows(values.size());
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      for (long d = -reach; d <= reach; ++d) {
        const std::size_t source = y * width + clampTo(static_cast<long>(x) + d, width);
        rows[y * width + x] += weight(static_cast<double>(d)) * values[source];
      }
    }
  }
  std::vector<double> out(values.size());
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      for (long d = -reach; d <= reach; ++d) {
        const std::size_t source = clampTo(static_cast<long>(y) + d, height) * width + x;
        out[y * width + x] += weight(static_cast<double>(d)) * rows[source];
      }
    }
  }
  return out;
}

TEST(BlurTest, WideAndNarrowKernelsMatchTheGaussianWithRepeatedEdges) {
  // Wide kernels are computed on a reduced copy of the image: the answer
  // must still be the asked Gaussian, near a sharp edge as far from one.
  constexpr std::size_t kWidth = 120;
  constexpr std::size_t kHeight = 70;
  std::vector<double> red(kWidth * kHeight);
  auto image = filled(kWidth, kHeight, Pixel{0, 0, 0, 255});
  for (std::size_t y = 0; y < kHeight; ++y) {
    for (std::size_t x = 0; x < kWidth; ++x) {
      // A bright block off centre, and a ramp along the bottom rows.
      const bool block = x >= 30 && x < 75 && y >= 10 && y < 40;
      const double value = block ? 255.0 : y >= 55 ? 2.0 * static_cast<double>(x) : 0.0;
      red[y * kWidth + x] = value;
      image->setPixel(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                      Pixel{static_cast<std::uint8_t>(value), 0, 0, 255});
    }
  }
  for (const double sigma : {2.5, 7.9, 8.0, 12.0, 21.0}) {
    const auto blurred = gaussianBlur(*image, sigma);
    ASSERT_NE(blurred, nullptr) << sigma;
    const std::vector<double> expected = referenceBlur(red, kWidth, kHeight, sigma);
    double worst = 0.0;
    for (std::size_t y = 0; y < kHeight; ++y) {
      for (std::size_t x = 0; x < kWidth; ++x) {
        const Pixel pixel = blurred->pixel(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
        worst = std::max(worst, std::abs(pixel.red - expected[y * kWidth + x]));
        ASSERT_EQ(pixel.alpha, 255) << sigma;
      }
    }
    EXPECT_LE(worst, 2.0) << "radius " << sigma;
  }
}

TEST(BlurTest, PixelsBeyondTheEdgeRepeatTheEdgePixel) {
  // White first column on black: at the edge the white column repeats out
  // to infinity, so the first output column keeps everything up to +0.5.
  constexpr double kSigma = 3.0;
  auto image = filled(30, 5, Pixel{0, 0, 0, 255});
  for (std::uint32_t y = 0; y < 5; ++y) image->setPixel(0, y, Pixel{255, 255, 255, 255});

  const auto blurred = gaussianBlur(*image, kSigma);
  ASSERT_NE(blurred, nullptr);
  for (std::uint32_t y = 0; y < 5; ++y) {
    EXPECT_NEAR(blurred->pixel(0, y).red, 255.0 * weightUpToHalf(kSigma), 1.0) << y;
    EXPECT_EQ(blurred->pixel(0, y).alpha, 255) << y;
    EXPECT_EQ(blurred->pixel(29, y), (Pixel{0, 0, 0, 255})) << y;
  }
}

TEST(BlurTest, TransparentPixelsLendNoColour) {
  // Red that is fully transparent beside opaque blue.
  auto image = filled(20, 4, Pixel{255, 0, 0, 0});
  for (std::uint32_t y = 0; y < 4; ++y) {
    for (std::uint32_t x = 10; x < 20; ++x) image->setPixel(x, y, Pixel{0, 0, 255, 255});
  }
  // The narrow kernel and the wide one, which is computed on a reduced copy.
  for (const double radius : {3.0, 12.0}) {
    const auto blurred = gaussianBlur(*image, radius);
    ASSERT_NE(blurred, nullptr);
    for (std::uint32_t x = 0; x < 20; ++x) {
      const Pixel pixel = blurred->pixel(x, 2);
      if (pixel.alpha > 0) {
        EXPECT_EQ(pixel, (Pixel{0, 0, 255, pixel.alpha})) << "radius " << radius << " at " << x;
      }
    }
    EXPECT_LT(blurred->pixel(5, 2).alpha, blurred->pixel(9, 2).alpha) << radius;
    EXPECT_LT(blurred->pixel(10, 2).alpha, 255) << radius;
  }
}

TEST(BlurTest, KeepsPixelSizeAndScale) {
  const auto blurred = gaussianBlur(*filled(7, 3, Pixel{1, 2, 3, 255}, 3.0), 2.0);
  ASSERT_NE(blurred, nullptr);
  EXPECT_EQ(blurred->pixelWidth(), 7u);
  EXPECT_EQ(blurred->pixelHeight(), 3u);
  EXPECT_EQ(blurred->scale(), 3.0);
}

TEST(BlurTest, NoRadiusAnswersACopy) {
  auto image = filled(3, 2, Pixel{1, 2, 3, 4}, 2.0);
  image->setPixel(1, 1, Pixel{250, 0, 0, 255});
  for (const double radius : {0.0, -3.0, std::nan("")}) {
    const auto copy = gaussianBlur(*image, radius);
    ASSERT_NE(copy, nullptr) << radius;
    EXPECT_NE(copy, image) << radius;
    EXPECT_EQ(copy->scale(), 2.0) << radius;
    EXPECT_TRUE(std::equal(copy->rgba().begin(), copy->rgba().end(), image->rgba().begin(), image->rgba().end()))
        << radius;
  }
}

}  // namespace
}  // namespace plexora::platform

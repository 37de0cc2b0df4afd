#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/ui/Image.h"
#include "platform/ui/ImageJPEG.h"

namespace plexora::platform {
namespace {

// A left-to-right grey ramp, so quality shows in the size of the file.
std::shared_ptr<Image> ramp(std::uint32_t width, std::uint32_t height) {
  auto image = Image::create(width, height, 2.0, Color::black());
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto level = static_cast<std::uint8_t>((x * 255 + y * 7) / width % 256);
      image->setPixel(x, y, Pixel{level, static_cast<std::uint8_t>(255 - level), level, 255});
    }
  }
  return image;
}

TEST(ImageJPEGEncoderTest, AnEncodedImageDecodesToItsSizeAndColours) {
  const auto image = Image::create(24, 16, 2.0, Color{0.9, 0.4, 0.1, 1.0});
  const Bytes jpeg = image->encodeJPEG(0.9);
  ASSERT_FALSE(jpeg.empty());
  EXPECT_TRUE(hasJPEGSignature(jpeg));
  const auto decoded = Image::decode(jpeg);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelWidth(), 24u);
  EXPECT_EQ(decoded->pixelHeight(), 16u);
  const Pixel centre = decoded->pixel(12, 8);
  EXPECT_NEAR(centre.red, 230, 4);
  EXPECT_NEAR(centre.green, 102, 4);
  EXPECT_NEAR(centre.blue, 26, 4);
  EXPECT_EQ(centre.alpha, 255);
}

TEST(ImageJPEGEncoderTest, QualityIsClampedAndLowerQualityMakesASmallerFile) {
  const auto image = ramp(64, 64);
  const Bytes best = image->encodeJPEG(1.0);
  const Bytes worst = image->encodeJPEG(0.0);
  ASSERT_FALSE(best.empty());
  ASSERT_FALSE(worst.empty());
  EXPECT_LT(worst.size(), best.size());
  EXPECT_EQ(image->encodeJPEG(7.0), best);
  EXPECT_EQ(image->encodeJPEG(-1.0), worst);
  EXPECT_TRUE(Image::decode(worst));
}

TEST(ImageJPEGEncoderTest, PixelsThatDoNotMatchTheSizeGiveNothing) {
  const std::vector<std::uint8_t> pixels(4 * 4 * Image::kBytesPerPixel - 1, 0);
  EXPECT_TRUE(encodeRGBAAsJPEG(4, 4, pixels, 0.5).empty());
  EXPECT_TRUE(encodeRGBAAsJPEG(0, 4, {}, 0.5).empty());
}

}  // namespace
}  // namespace plexora::platform

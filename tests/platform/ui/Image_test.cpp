#include "platform/ui/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <span>
#include <stdexcept>

namespace plexora::platform {
namespace {

TEST(ImageTest, CreateFillsEveryPixelWithTheRoundedClampedColour) {
  const auto image = Image::create(4, 3, 2.0, Color{0.5, 1.5, -0.25, std::nan("")});
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 4u);
  EXPECT_EQ(image->pixelHeight(), 3u);
  EXPECT_EQ(image->size(), (Size{2.0, 1.5}));
  ASSERT_EQ(image->rgba().size(), 4u * 3u * Image::kBytesPerPixel);
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(image->pixel(x, y), (Pixel{128, 255, 0, 0})) << x << ", " << y;
  }
}

TEST(ImageTest, FactoriesRefuseWhatCannotBeAnImage) {
  const double infinity = std::numeric_limits<double>::infinity();
  const struct {
    const char* what;
    std::uint32_t width;
    std::uint32_t height;
    double scale;
  } cases[] = {
      {"no width", 0, 5, 1.0},
      {"no height", 5, 0, 1.0},
      {"one pixel over the bound", 8193, 8192, 1.0},
      {"widest and tallest", 0xFFFFFFFFu, 0xFFFFFFFFu, 1.0},
      {"zero scale", 2, 2, 0.0},
      {"negative scale", 2, 2, -1.0},
      {"infinite scale", 2, 2, infinity},
      {"scale not a number", 2, 2, std::nan("")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Image::create(c.width, c.height, c.scale, Color::white()), nullptr) << c.what;
    EXPECT_EQ(Image::fromRGBA(c.width, c.height, c.scale, Bytes(16)), nullptr) << c.what;
  }
  EXPECT_TRUE(isAllowedImageSize(8192, 8192));
  EXPECT_TRUE(isAllowedImageSize(kMaxImagePixelCount, 1));
  EXPECT_FALSE(isAllowedImageSize(kMaxImagePixelCount + 1, 1));
}

TEST(ImageTest, FromRGBANeedsExactlyOneBufferOfPixels) {
  EXPECT_EQ(Image::fromRGBA(2, 2, 1.0, Bytes(15)), nullptr);
  EXPECT_EQ(Image::fromRGBA(2, 2, 1.0, Bytes(17)), nullptr);
  const auto image = Image::fromRGBA(2, 1, 1.0, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixel(1, 0), (Pixel{5, 6, 7, 8}));
}

TEST(ImageTest, BorrowedPixelsAreReadInPlaceAndTheirOwnerLivesAsLongAsTheImage) {
  auto owner = std::make_shared<Bytes>(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  const std::weak_ptr<Bytes> watched = owner;
  const std::span<const std::uint8_t> pixels(*owner);
  EXPECT_EQ(Image::borrowRGBA(2, 2, 1.0, owner, pixels), nullptr);
  EXPECT_EQ(Image::borrowRGBA(1, 1, 1.0, owner, pixels), nullptr);
  EXPECT_EQ(Image::borrowRGBA(2, 1, 0.0, owner, pixels), nullptr);
  EXPECT_EQ(Image::borrowRGBA(2, 1, 1.0, nullptr, pixels), nullptr) << "nothing would keep the pixels";

  auto image = Image::borrowRGBA(2, 1, 1.0, std::move(owner), pixels);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->rgba().data(), pixels.data());
  EXPECT_EQ(image->pixel(1, 0), (Pixel{5, 6, 7, 8}));
  EXPECT_THROW(image->setPixel(0, 0, Pixel{}), std::logic_error);
  EXPECT_EQ(image->encodePNG(), Image::fromRGBA(2, 1, 1.0, Bytes(pixels.begin(), pixels.end()))->encodePNG());
  EXPECT_FALSE(watched.expired());
  image.reset();
  EXPECT_TRUE(watched.expired());
}

TEST(ImageTest, PixelsAreAddressedByColumnAndRowAndCheckedAgainstTheSize) {
  const auto image = Image::create(3, 2, 1.0, Color::black());
  ASSERT_NE(image, nullptr);
  image->setPixel(2, 1, Pixel{9, 8, 7, 6});
  EXPECT_EQ(image->pixel(2, 1), (Pixel{9, 8, 7, 6}));
  EXPECT_EQ(image->pixel(1, 1), (Pixel{0, 0, 0, 255}));
  // Last pixel of the buffer: row 1 starts 3 pixels in.
  EXPECT_EQ(image->rgba()[(1 * 3 + 2) * Image::kBytesPerPixel], 9);

  EXPECT_THROW(image->pixel(3, 0), std::out_of_range);
  EXPECT_THROW(image->pixel(0, 2), std::out_of_range);
  EXPECT_THROW(image->setPixel(3, 1, Pixel{}), std::out_of_range);
}

TEST(ImageTest, EncodedPNGDecodesToTheSamePixels) {
  const auto image = Image::create(5, 3, 2.0, Color::clear());
  ASSERT_NE(image, nullptr);
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 5; ++x) {
      image->setPixel(x, y,
                      Pixel{static_cast<std::uint8_t>(50 * x), static_cast<std::uint8_t>(100 * y), 33,
                            static_cast<std::uint8_t>(60 * x + y)});
    }
  }
  const Bytes png = image->encodePNG();
  ASSERT_FALSE(png.empty());

  const auto decoded = Image::decode(png, 2.0);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->pixelWidth(), 5u);
  EXPECT_EQ(decoded->pixelHeight(), 3u);
  EXPECT_TRUE(std::equal(decoded->rgba().begin(), decoded->rgba().end(), image->rgba().begin(), image->rgba().end()));
}

TEST(ImageTest, AWideSingleRowImageEncodes) {
  // Wider than libpng accepts by default.
  const auto image = Image::create(1'200'000, 1, 1.0, Color{0.0, 0.0, 1.0, 1.0});
  ASSERT_NE(image, nullptr);
  const auto decoded = Image::decode(image->encodePNG());
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->pixelWidth(), 1'200'000u);
  EXPECT_EQ(decoded->pixel(1'199'999, 0), (Pixel{0, 0, 255, 255}));
}

}  // namespace
}  // namespace plexora::platform

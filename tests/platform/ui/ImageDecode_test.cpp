#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/Files.h"
#include "platform/ui/Image.h"

// The fixtures are written by fixtures/make_png_fixtures.py and
// fixtures/make_jpeg_fixtures.c. They are found from the source tree's path
// given by the build, not from __FILE__, which a compiler cache may have
// made relative to the build directory.

namespace plexora::platform {
namespace {

Bytes fixture(const std::string& name) {
  const auto path = std::filesystem::path(PLEXORA_TEST_SOURCE_DIR) / "platform" / "ui" / "fixtures" / name;
  auto bytes = readFile(path.string());
  if (!bytes) ADD_FAILURE() << "missing fixture " << path;
  return bytes.value_or(Bytes{});
}

Bytes prefix(const Bytes& bytes, std::size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

// The JPEG with its frame header's height and width replaced.
Bytes withJPEGDimensions(Bytes bytes, std::uint16_t width, std::uint16_t height) {
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    // Start of frame, baseline or progressive: marker, length, precision,
    // height, width.
    if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
      bytes[i + 5] = height >> 8;
      bytes[i + 6] = height & 0xFF;
      bytes[i + 7] = width >> 8;
      bytes[i + 8] = width & 0xFF;
      return bytes;
    }
  }
  ADD_FAILURE() << "no frame header";
  return bytes;
}

// The PNG with one byte of its image data flipped (the chunk's CRC then
// fails).
Bytes withDamagedImageData(Bytes bytes) {
  const std::string idat = "IDAT";
  for (std::size_t i = 0; i + 6 < bytes.size(); ++i) {
    if (std::equal(idat.begin(), idat.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i))) {
      bytes[i + 6] ^= 0xFF;
      return bytes;
    }
  }
  ADD_FAILURE() << "no image data";
  return bytes;
}

struct PixelCheck {
  std::uint32_t x;
  std::uint32_t y;
  Pixel expected;
};

void expectPixelsNear(const Image& image, const std::vector<PixelCheck>& checks, int tolerance,
                      const std::string& name) {
  for (const auto& check : checks) {
    const Pixel actual = image.pixel(check.x, check.y);
    const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
    EXPECT_TRUE(near(actual.red, check.expected.red) && near(actual.green, check.expected.green) &&
                near(actual.blue, check.expected.blue) && near(actual.alpha, check.expected.alpha))
        << name << " at (" << check.x << ", " << check.y << "): got " << int{actual.red} << " " << int{actual.green}
        << " " << int{actual.blue} << " " << int{actual.alpha};
  }
}

TEST(ImageDecodeTest, PNGColourTypesAndDepthsBecomeRGBA8) {
  const struct {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    std::vector<PixelCheck> pixels;
  } cases[] = {
      {"rgb_3x2.png",
       3,
       2,
       {{0, 0, {255, 0, 0, 255}}, {2, 0, {0, 0, 255, 255}}, {1, 1, {0, 0, 0, 255}}, {2, 1, {10, 20, 30, 255}}}},
      {"rgba_2x2.png",
       2,
       2,
       {{0, 0, {255, 0, 0, 128}}, {1, 0, {0, 255, 0, 255}}, {0, 1, {0, 0, 255, 0}}, {1, 1, {1, 2, 3, 4}}}},
      {"palette_trns_2x1.png", 2, 1, {{0, 0, {200, 100, 50, 255}}, {1, 0, {7, 8, 9, 0}}}},
      {"gray1_8x1.png",
       8,
       1,
       {{0, 0, {255, 255, 255, 255}}, {1, 0, {0, 0, 0, 255}}, {6, 0, {255, 255, 255, 255}}, {7, 0, {0, 0, 0, 255}}}},
      // 16-bit components are scaled, not cut: 0x1234 / 257 rounds to 18.
      {"rgb16_1x1.png", 1, 1, {{0, 0, {18, 171, 255, 255}}}},
      {"gray_alpha_1x1.png", 1, 1, {{0, 0, {100, 100, 100, 50}}}},
  };
  for (const auto& c : cases) {
    const auto image = Image::decode(fixture(c.name));
    ASSERT_NE(image, nullptr) << c.name;
    EXPECT_EQ(image->pixelWidth(), c.width) << c.name;
    EXPECT_EQ(image->pixelHeight(), c.height) << c.name;
    expectPixelsNear(*image, c.pixels, 0, c.name);
  }
}

TEST(ImageDecodeTest, InterlacedPNGPutsEveryPassInPlace) {
  const auto image = Image::decode(fixture("interlaced_5x5.png"));
  ASSERT_NE(image, nullptr);
  for (std::uint32_t y = 0; y < 5; ++y) {
    for (std::uint32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(image->pixel(x, y),
                (Pixel{static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(40 * y), 7, 255}))
          << x << ", " << y;
    }
  }
}

TEST(ImageDecodeTest, JPEGsDecodeOpaqueWithTheirColours) {
  // Lossy: colours within a few levels.
  const struct {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    std::vector<PixelCheck> pixels;
  } cases[] = {
      // Rows top to bottom, columns left to right.
      {"quadrants_16x16.jpg",
       16,
       16,
       {{3, 3, {255, 0, 0, 255}},
        {12, 3, {0, 255, 0, 255}},
        {3, 12, {0, 0, 255, 255}},
        {12, 12, {255, 255, 255, 255}}}},
      // Subsampled chroma over a partial last block column.
      {"orange_24x16_progressive.jpg", 24, 16, {{0, 0, {240, 130, 20, 255}}, {23, 15, {240, 130, 20, 255}}}},
      {"grey_8x8.jpg", 8, 8, {{0, 0, {90, 90, 90, 255}}, {7, 7, {90, 90, 90, 255}}}},
  };
  for (const auto& c : cases) {
    const auto image = Image::decode(fixture(c.name));
    ASSERT_NE(image, nullptr) << c.name;
    EXPECT_EQ(image->pixelWidth(), c.width) << c.name;
    EXPECT_EQ(image->pixelHeight(), c.height) << c.name;
    expectPixelsNear(*image, c.pixels, 4, c.name);
  }
}

TEST(ImageDecodeTest, ScaleTurnsPixelsIntoPoints) {
  const Bytes png = fixture("rgb_3x2.png");
  const auto single = Image::decode(png);
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(single->scale(), 1.0);
  EXPECT_EQ(single->size(), (Size{3.0, 2.0}));

  const auto retina = Image::decode(fixture("quadrants_16x16.jpg"), 2.0);
  ASSERT_NE(retina, nullptr);
  EXPECT_EQ(retina->pixelWidth(), 16u);
  EXPECT_EQ(retina->scale(), 2.0);
  EXPECT_EQ(retina->size(), (Size{8.0, 8.0}));

  for (const double scale : {0.0, -2.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(Image::decode(png, scale), nullptr) << scale;
  }
}

TEST(ImageDecodeTest, BrokenTruncatedUnsupportedAndOversizedDataDecodeToNothing) {
  const Bytes png = fixture("rgb_3x2.png");
  const Bytes jpeg = fixture("quadrants_16x16.jpg");
  const Bytes progressive = fixture("orange_24x16_progressive.jpg");
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  Bytes jpegSignatureThenGarbage = {0xFF, 0xD8, 0xFF};
  jpegSignatureThenGarbage.insert(jpegSignatureThenGarbage.end(), garbage.begin(), garbage.end());

  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"no bytes", {}},
      {"one byte", {0x89}},
      {"text", garbage},
      {"PNG signature only", prefix(png, 8)},
      {"PNG cut in its header", prefix(png, 20)},
      {"PNG cut in its image data", prefix(png, png.size() / 2 + 10)},
      {"PNG without the last byte", prefix(png, png.size() - 1)},
      {"PNG with damaged image data", withDamagedImageData(png)},
      {"PNG of zero width", fixture("zero_width.png")},
      {"PNG of 100000 x 100000", fixture("huge_100000x100000.png")},
      {"PNG of 8193 x 8192, just over the bound", fixture("over_bound_8193x8192.png")},
      {"JPEG signature then text", jpegSignatureThenGarbage},
      {"JPEG cut in its headers", prefix(jpeg, 100)},
      {"JPEG cut in its scan", prefix(jpeg, jpeg.size() - 20)},
      {"JPEG without its end marker", prefix(jpeg, jpeg.size() - 2)},
      {"progressive JPEG cut in its first scan", prefix(progressive, 240)},
      {"JPEG of 65000 x 65000", withJPEGDimensions(jpeg, 65000, 65000)},
      {"JPEG of 8193 x 8192", withJPEGDimensions(jpeg, 8193, 8192)},
      {"JPEG of zero height", withJPEGDimensions(jpeg, 16, 0)},
      {"CMYK JPEG", fixture("cmyk_8x8.jpg")},
      {"JPEG of 694 valid scans", fixture("many_scans_8x8.jpg")},
  };
  for (const auto& c : cases) EXPECT_EQ(Image::decode(c.bytes), nullptr) << c.what;
}

}  // namespace
}  // namespace plexora::platform

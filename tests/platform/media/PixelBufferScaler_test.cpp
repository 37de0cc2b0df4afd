#include "platform/media/PixelBufferScaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include "platform/media/PixelBuffer.h"

namespace plexora::platform {
namespace {

// BT.709 video range, as the layer passes it.
constexpr YCbCrConversion kConversion{{1.164f, 1.164f, 1.164f, 0.0f, -0.213f, 2.112f, 1.793f, -0.533f, 0.0f},
                                      16.0f / 255.0f};

uint8_t lumaAt(size_t x, size_t y) { return static_cast<uint8_t>(16 + (x * 7 + y * 13) % 220); }
uint8_t cbAt(size_t x, size_t y) { return static_cast<uint8_t>(16 + (x * 29 + y * 3) % 225); }
uint8_t crAt(size_t x, size_t y) { return static_cast<uint8_t>(240 - (x * 5 + y * 31) % 225); }

// The same samples in both layouts; the planar one with a coded size
// larger than the visible one, as a decoder allocates it, and shown from
// `left` and `top` into it as a stream's crop places it. Samples outside the
// visible region are white, which no region drawn should show.
std::shared_ptr<PixelBuffer> makePicture(PixelFormat format, size_t width, size_t height, size_t left = 0,
                                         size_t top = 0) {
  if (format == PixelFormat::kNV12) {
    auto picture = PixelBuffer::createNV12(width, height);
    picture->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
    for (size_t y = 0; y < height; ++y) {
      for (size_t x = 0; x < width; ++x) picture->baseAddressOfPlane(0)[y * picture->bytesPerRowOfPlane(0) + x] = lumaAt(x, y);
    }
    for (size_t y = 0; y < picture->heightOfPlane(1); ++y) {
      for (size_t x = 0; x < picture->widthOfPlane(1); ++x) {
        uint8_t* pair = picture->baseAddressOfPlane(1) + y * picture->bytesPerRowOfPlane(1) + 2 * x;
        pair[0] = cbAt(x, y);
        pair[1] = crAt(x, y);
      }
    }
    picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
    return picture;
  }
  auto picture = PixelBuffer::createI420ForWriting(width, height, left + width + 32, top + height + 18);
  const auto sample = [](uint8_t (*at)(size_t, size_t), size_t x, size_t y, size_t left, size_t top) {
    return x < left || y < top ? uint8_t{255} : at(x - left, y - top);
  };
  picture->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  for (size_t y = 0; y < top + height; ++y) {
    for (size_t x = 0; x < left + width; ++x) {
      picture->baseAddressOfPlane(0)[y * picture->bytesPerRowOfPlane(0) + x] = sample(lumaAt, x, y, left, top);
    }
  }
  for (size_t y = 0; y < (top + height + 1) / 2; ++y) {
    for (size_t x = 0; x < (left + width + 1) / 2; ++x) {
      picture->baseAddressOfPlane(1)[y * picture->bytesPerRowOfPlane(1) + x] = sample(cbAt, x, y, left / 2, top / 2);
      picture->baseAddressOfPlane(2)[y * picture->bytesPerRowOfPlane(2) + x] = sample(crAt, x, y, left / 2, top / 2);
    }
  }
  picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  EXPECT_TRUE(picture->setVisibleRegion(left, top, width, height));
  return picture;
}

std::vector<uint8_t> drawn(PixelBuffer& picture, PixelRect source, size_t width, size_t height, PixelRect destination) {
  std::vector<uint8_t> pixels(width * height * 4);
  PixelBufferScaler scaler;
  EXPECT_TRUE(scaler.draw(picture, source, {pixels.data(), width, height}, destination, kConversion));
  return pixels;
}

TEST(PixelBufferTest, VisibleRegionMovesThePlanesStartsWithinTheCodedPicture) {
  auto picture = PixelBuffer::createI420ForWriting(160, 90, 176, 98);
  ASSERT_NE(picture, nullptr);
  picture->lockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  const PixelBuffer& locked = *picture;
  const uint8_t* coded[3] = {locked.baseAddressOfPlane(0), locked.baseAddressOfPlane(1), locked.baseAddressOfPlane(2)};
  struct Case {
    const char* name;
    size_t left, top, width, height;
    bool accepted;
  };
  const Case cases[] = {
      {"left and top", 4, 2, 150, 88, true},
      {"the whole coded picture", 0, 0, 176, 98, true},
      {"to the coded picture's far corner", 16, 8, 160, 90, true},
      {"odd left: half a chroma sample", 3, 2, 150, 88, false},
      {"odd top", 4, 1, 150, 88, false},
      {"wider than the coded picture from its left", 18, 0, 160, 90, false},
      {"taller than the coded picture from its top", 0, 10, 160, 90, false},
      {"empty", 4, 2, 0, 88, false},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ASSERT_TRUE(picture->setVisibleRegion(0, 0, 160, 90));
    EXPECT_EQ(picture->setVisibleRegion(entry.left, entry.top, entry.width, entry.height), entry.accepted);
    const Case shown = entry.accepted ? entry : Case{"", 0, 0, 160, 90, true};
    EXPECT_EQ(picture->width(), shown.width);
    EXPECT_EQ(picture->heightOfPlane(1), (shown.height + 1) / 2);
    EXPECT_EQ(locked.baseAddressOfPlane(0) - coded[0], static_cast<ptrdiff_t>(shown.top * 192 + shown.left));
    for (size_t plane = 1; plane < 3; ++plane) {
      EXPECT_EQ(locked.baseAddressOfPlane(plane) - coded[plane],
                static_cast<ptrdiff_t>(shown.top / 2 * 128 + shown.left / 2));
    }
  }
  picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  EXPECT_FALSE(PixelBuffer::createNV12(160, 90)->setVisibleRegion(2, 2, 150, 80)) << "bi-planar";
}

TEST(PixelBufferTest, PlanarPictureHasRoomForItsCodedSize) {
  auto picture = PixelBuffer::createI420ForWriting(161, 91, 176, 98);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->planeCount(), 3U);
  EXPECT_EQ(picture->width(), 161U);
  EXPECT_EQ(picture->heightOfPlane(2), 46U) << "visible rows only";
  EXPECT_EQ(picture->bytesPerRowOfPlane(0), 192U);
  EXPECT_EQ(picture->bytesPerRowOfPlane(1), 128U) << "88 Cb samples, padded";
  picture->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  uint8_t* luma = picture->baseAddressOfPlane(0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(luma) % PixelBuffer::kRowAlignment, 0U);
  EXPECT_EQ(picture->baseAddressOfPlane(1) - luma, 192 * 98);
  EXPECT_EQ(picture->baseAddressOfPlane(2) - picture->baseAddressOfPlane(1), 128 * 49);
  picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  EXPECT_EQ(PixelBuffer::createI420ForWriting(161, 91, 160, 98), nullptr) << "coded narrower than visible";
}

struct Region {
  const char* name;
  PixelRect source;
  size_t targetWidth;
  size_t targetHeight;
  PixelRect destination;
};

class PixelBufferScalerLayoutTest : public ::testing::TestWithParam<Region> {};

// Both layouts hold the same samples, so they must draw the same pixels:
// at the picture's own size (where widths that are no multiple of the
// vector width leave a tail) and scaled; a planar picture cropped at its
// left and top too, none of the samples cropped off showing.
TEST_P(PixelBufferScalerLayoutTest, PlanarAndBiPlanarDrawAlike) {
  const Region& region = GetParam();
  auto nv12 = makePicture(PixelFormat::kNV12, 75, 43);
  const auto expected = drawn(*nv12, region.source, region.targetWidth, region.targetHeight, region.destination);
  EXPECT_EQ(drawn(*makePicture(PixelFormat::kI420, 75, 43), region.source, region.targetWidth, region.targetHeight,
                  region.destination),
            expected);
  EXPECT_EQ(drawn(*makePicture(PixelFormat::kI420, 75, 43, 6, 4), region.source, region.targetWidth,
                  region.targetHeight, region.destination),
            expected)
      << "cropped";
}

INSTANTIATE_TEST_SUITE_P(Regions, PixelBufferScalerLayoutTest,
                         ::testing::Values(Region{"whole", {0, 0, 75, 43}, 75, 43, {0, 0, 75, 43}},
                                           Region{"oddRegion", {5, 3, 37, 21}, 40, 30, {2, 4, 37, 21}},
                                           Region{"rightEdge", {50, 20, 25, 23}, 25, 23, {0, 0, 25, 23}},
                                           Region{"shrunk", {0, 0, 75, 43}, 40, 24, {1, 1, 37, 21}},
                                           Region{"grown", {3, 1, 30, 20}, 64, 44, {2, 2, 60, 40}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The own-size conversion against the formula it implements: a flat
// picture converts to the same pixel everywhere, the vector loops' tail
// included.
TEST(PixelBufferScalerTest, FlatPictureConvertsEveryPixelAlike) {
  auto picture = PixelBuffer::createI420ForWriting(37, 5, 48, 8);
  picture->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  for (size_t plane = 0; plane < 3; ++plane) {
    std::fill_n(picture->baseAddressOfPlane(plane), picture->bytesPerRowOfPlane(plane) * picture->heightOfPlane(plane),
                plane == 0 ? 126 : (plane == 1 ? 90 : 200));
  }
  picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  const auto pixels = drawn(*picture, {0, 0, 37, 5}, 37, 5, {0, 0, 37, 5});
  const double y = 126 - 16;
  const double cb = 90 - 127.5;
  const double cr = 200 - 127.5;
  double expected[3] = {};
  for (int channel = 0; channel < 3; ++channel) {
    const float* m = kConversion.matrix;
    expected[channel] = std::clamp(m[channel] * y + m[channel + 3] * cb + m[channel + 6] * cr, 0.0, 255.0);
  }
  for (size_t pixel = 0; pixel < 37 * 5; ++pixel) {
    for (int channel = 0; channel < 3; ++channel) {
      EXPECT_NEAR(pixels[pixel * 4 + channel], expected[channel], 1.0) << "pixel " << pixel << " channel " << channel;
    }
    ASSERT_EQ(pixels[pixel * 4 + 3], 255);
  }
}

}  // namespace
}  // namespace plexora::platform

// The pixel buffer pool: a freed image's pixels serve the next decode of
// that size, which still shows its own picture; small buffers, buffers
// beyond the limit and a cleared pool hand their memory back.
#include "platform/ui/PixelBufferPool.h"

#include <gtest/gtest.h>

#include "platform/ui/Image.h"

namespace plexora::platform {
namespace {

// A picture of many colours, so stale pixels of another would show.
Bytes encodedPicture(std::uint8_t blue, bool jpeg) {
  auto image = Image::create(400, 400, 1.0, Color::white());
  for (std::uint32_t y = 0; y < 400; ++y) {
    for (std::uint32_t x = 0; x < 400; ++x) {
      image->setPixel(x, y, {static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(y % 256), blue, 255});
    }
  }
  return jpeg ? image->encodeJPEG(0.9) : image->encodePNG();
}

class PixelBufferPoolTest : public ::testing::Test {
 protected:
  void SetUp() override { PixelBufferPool::shared().clear(); }
  void TearDown() override { PixelBufferPool::shared().clear(); }
};

TEST_F(PixelBufferPoolTest, AFreedImagesPixelsServeTheNextDecodeWhichShowsItsOwnPicture) {
  for (const bool jpeg : {true, false}) {
    SCOPED_TRACE(jpeg ? "JPEG" : "PNG");
    const Bytes first = encodedPicture(10, jpeg);
    const Bytes second = encodedPicture(200, jpeg);
    const auto fresh = Image::decode(second);
    ASSERT_TRUE(fresh);
    const Bytes expected(fresh->rgba().begin(), fresh->rgba().end());
    PixelBufferPool::shared().clear();

    auto earlier = Image::decode(first);
    ASSERT_TRUE(earlier);
    const std::uint8_t* pixels = earlier->rgba().data();
    earlier.reset();
    EXPECT_EQ(PixelBufferPool::shared().heldBytes(), std::size_t{400} * 400 * Image::kBytesPerPixel);

    const auto reused = Image::decode(second);
    ASSERT_TRUE(reused);
    EXPECT_EQ(reused->rgba().data(), pixels);
    EXPECT_EQ(PixelBufferPool::shared().heldBytes(), 0u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reused->rgba().begin(), reused->rgba().end()));
  }
}

TEST_F(PixelBufferPoolTest, SmallFarLargerOrExcessBuffersAreNotKeptOrTaken) {
  PixelBufferPool& pool = PixelBufferPool::shared();
  pool.give(Bytes(PixelBufferPool::kMinPooledBytes - 1));
  EXPECT_EQ(pool.heldBytes(), 0u);

  pool.give(Bytes(4 * PixelBufferPool::kMinPooledBytes));
  const std::size_t held = pool.heldBytes();
  EXPECT_EQ(held, 4 * PixelBufferPool::kMinPooledBytes);
  // A buffer more than twice the size asked for stays where it is.
  EXPECT_EQ(pool.take(PixelBufferPool::kMinPooledBytes).size(), PixelBufferPool::kMinPooledBytes);
  EXPECT_EQ(pool.heldBytes(), held);

  pool.give(Bytes(PixelBufferPool::kMaxHeldBytes));
  EXPECT_EQ(pool.heldBytes(), held) << "beyond the limit";

  pool.clear();
  EXPECT_EQ(pool.heldBytes(), 0u);
}

}  // namespace
}  // namespace plexora::platform

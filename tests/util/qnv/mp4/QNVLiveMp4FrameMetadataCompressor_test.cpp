#include "util/qnv/mp4/QNVLiveMp4FrameMetadataCompressor.h"

#include <gtest/gtest.h>

namespace plexora {
namespace {

QNVMp4FrameRecord frame(uint64_t dts, uint32_t duration = 1000, uint64_t offset = 0) {
  return {offset, 10, duration, dts, dts, dts};
}

TEST(QNVLiveMp4FrameMetadataCompressorTest, ReleasesFramesBehindTheReader) {
  QNVLiveMp4FrameMetadataCompressor store;
  for (uint64_t i = 0; i < 12; ++i) store.addFrame(frame(i * 1000, 1000, i * 10));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(store.Next());
  EXPECT_EQ(store.currentFrameIndex(), 10U);
  EXPECT_EQ(store.retainedFrameCount(), 2U);
  EXPECT_EQ(store.frameAtIndex(9), QNVMp4FrameRecord{}) << "released";
  EXPECT_FALSE(store.seekToFrameIndex(9));
  EXPECT_EQ(store.frameAtIndex(11), frame(11000, 1000, 110));
  ASSERT_TRUE(store.seekToFrameIndex(11));
  EXPECT_EQ(store.currentFrame(), frame(11000, 1000, 110));
  EXPECT_EQ(store.frameForOffset(5), frame(10000, 1000, 100)) << "before the first retained frame";
}

TEST(QNVLiveMp4FrameMetadataCompressorTest, AReaderAtTheEndSeesNewFramesAtOnce) {
  QNVLiveMp4FrameMetadataCompressor store;
  store.addFrame(frame(0));
  EXPECT_EQ(store.currentFrame(), frame(0));
  EXPECT_FALSE(store.Next());
  EXPECT_EQ(store.currentFrameIndex(), 1U);
  store.addFrame(frame(1000));
  EXPECT_EQ(store.currentFrame(), frame(1000));
  EXPECT_FALSE(store.Next());
  EXPECT_FALSE(store.Next()) << "beyond the size";
  EXPECT_EQ(store.currentFrameIndex(), 2U);
}

TEST(QNVLiveMp4FrameMetadataCompressorTest, TimesAndDurationsItRemembers) {
  QNVLiveMp4FrameMetadataCompressor store;
  EXPECT_EQ(store.smallestPts(), UINT64_MAX);
  store.addFrame({0, 1, 40, 500, 700, 500});
  store.addFrame({0, 1, 0, 540, 600, 540});
  EXPECT_EQ(store.smallestPts(), 600U);
  EXPECT_EQ(store.largestPts(), 700U);
  EXPECT_EQ(store.latestNonZeroDuration(), 40U) << "a zero duration leaves it";
  store.addFrame({0x1'0000'0000ULL, 0x10, 40, 580, 650, 580});
  EXPECT_EQ(store.largestOffset(), 0x1'0000'0010ULL) << "no 32-bit wrap";
  store.reset();
  EXPECT_EQ(store.smallestPts(), UINT64_MAX);
  EXPECT_EQ(store.largestPts(), UINT64_MAX);
  EXPECT_EQ(store.frameCount(), 0U);
}

}  // namespace
}  // namespace plexora

#include <gtest/gtest.h>

#include "platform/media/BlockBuffer.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

namespace plexora::platform {
namespace {

TEST(BlockBufferTest, ContiguityAndCopyAcrossBlocks) {
  auto shared = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  BlockBuffer buffer = BlockBuffer::withBytes({100, 101, 102});
  ASSERT_TRUE(buffer.appendBlock(shared, 4, 4));  // 4 5 6 7
  EXPECT_FALSE(buffer.appendBlock(shared, 8, 3)) << "past the block";
  EXPECT_EQ(buffer.dataLength(), 7U);

  EXPECT_TRUE(buffer.isRangeContiguous(3, 4));
  EXPECT_EQ(buffer.dataPointer(3, 4), shared->data() + 4) << "no copy";
  EXPECT_FALSE(buffer.isRangeContiguous(2, 2));
  uint8_t out[4] = {};
  ASSERT_TRUE(buffer.copyDataBytes(1, 4, out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{101, 102, 4, 5}));
  EXPECT_FALSE(buffer.copyDataBytes(5, 3, out));

  BlockBuffer joined;
  joined.appendBuffer(buffer);
  joined.appendBuffer(buffer);
  const BlockBuffer flat = joined.contiguousCopy();
  ASSERT_TRUE(flat.isRangeContiguous(0, 14));
  EXPECT_EQ(flat.dataPointer(0, 14)[10], 4);
}

TEST(SampleBufferTest, TimingSizesAndAttachments) {
  const BlockBuffer data = BlockBuffer::withBytes(std::vector<uint8_t>(30));
  const SampleTimingInfo one{MediaTime::make(1024, 44100), MediaTime::make(0, 44100), MediaTime::invalid()};
  auto buffer = SampleBuffer::create(data, {}, 3, {one}, {10, 5, 15});
  ASSERT_TRUE(buffer.has_value());
  EXPECT_EQ(buffer->totalSampleSize(), 30U);
  EXPECT_EQ(buffer->sampleSize(2), 15U);
  EXPECT_EQ(buffer->timingInfo(2).presentationTimeStamp, MediaTime::make(2048, 44100));
  EXPECT_EQ(buffer->duration(), MediaTime::make(3072, 44100));

  EXPECT_EQ(buffer->sampleAttachmentsArray(false), nullptr) << "made on demand";
  auto* attachments = buffer->sampleAttachmentsArray(true);
  ASSERT_NE(attachments, nullptr);
  ASSERT_EQ(attachments->size(), 3U);
  (*attachments)[1].set("DependsOnOthers", Value(true));

  auto moved = buffer->copyWithNewTiming({{MediaTime::make(1, 10), MediaTime::make(5, 1), MediaTime::make(5, 1)}});
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(moved->presentationTimeStamp(), MediaTime::make(5, 1));
  EXPECT_EQ(buffer->presentationTimeStamp(), MediaTime::make(0, 1)) << "the original keeps its timing";
  EXPECT_TRUE((*moved->sampleAttachmentsArray(false))[1].find("DependsOnOthers")->asBool());

  EXPECT_FALSE(SampleBuffer::create(data, {}, 3, {one, one}, {}).has_value()) << "two timings for three samples";
  EXPECT_FALSE(SampleBuffer::create(data, {}, 2, {}, {20, 11}).has_value()) << "sizes beyond the data";
}

TEST(PixelBufferTest, TwoPlanesThatOnlyALockHandsOut) {
  EXPECT_EQ(PixelBuffer::createNV12(0, 10), nullptr);
  auto buffer = PixelBuffer::createNV12(161, 91);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->planeCount(), 2U);
  EXPECT_EQ(buffer->widthOfPlane(1), 81U);
  EXPECT_EQ(buffer->heightOfPlane(1), 46U);
  EXPECT_EQ(buffer->bytesPerRowOfPlane(0), 192U);
  EXPECT_EQ(buffer->bytesPerRowOfPlane(1), 192U) << "81 Cb/Cr pairs, padded";

  EXPECT_EQ(buffer->baseAddressOfPlane(0), nullptr);
  buffer->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  uint8_t* luma = buffer->baseAddressOfPlane(0);
  uint8_t* chroma = buffer->baseAddressOfPlane(1);
  ASSERT_NE(luma, nullptr);
  EXPECT_EQ(chroma - luma, 192 * 91);
  chroma[192 * 45 + 161] = 7;  // the last Cr byte of the last row
  EXPECT_TRUE(buffer->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite));
  EXPECT_FALSE(buffer->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite));

  buffer->lockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  EXPECT_EQ(buffer->baseAddressOfPlane(1), nullptr) << "no writing under a read lock";
  const PixelBuffer& readOnly = *buffer;
  EXPECT_EQ(readOnly.baseAddressOfPlane(1)[192 * 45 + 161], 7);
  buffer->setAttachment(kPixelBufferYCbCrMatrixKey, Value(kPixelBufferYCbCrMatrixITU_R_709_2));
  EXPECT_EQ(buffer->attachments().find(kPixelBufferYCbCrMatrixKey)->asString(), "ITU_R_709_2");
}

}  // namespace
}  // namespace plexora::platform

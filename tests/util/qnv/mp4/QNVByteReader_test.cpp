#include "util/qnv/mp4/QNVByteReader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace plexora {
namespace {

TEST(QNVByteReaderTest, ReadsBigEndianOnlyWhollyInsideTheWindow) {
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
  const QNVByteReader reader(bytes, bytes + 4);
  uint32_t word = 0;
  ASSERT_TRUE(reader.readU32(0, word));
  EXPECT_EQ(word, 0x12345678U);
  EXPECT_FALSE(reader.readU32(1, word));
  EXPECT_EQ(word, 0x12345678U) << "a failed read leaves its output alone";
  uint8_t byte = 0;
  ASSERT_TRUE(reader.readU8(3, byte));
  EXPECT_EQ(byte, 0x78);
  uint64_t wide = 0;
  EXPECT_FALSE(reader.readU64(0, wide));
  // An offset that would wrap the cursor round to the window's start.
  EXPECT_FALSE(reader.readU8(UINT64_MAX, byte));
}

TEST(QNVByteReaderTest, AdvancingPastTheEndLeavesNothingToRead) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
  QNVByteReader reader(bytes, bytes + 8);
  reader.advance(6);
  uint16_t half = 0;
  ASSERT_TRUE(reader.readU16(0, half));
  EXPECT_EQ(half, 0x0708);
  reader.advance(3);
  EXPECT_EQ(reader.bytesLeft(), 0U);
  uint8_t byte = 0;
  EXPECT_FALSE(reader.readU8(0, byte));
  reader.advance(UINT64_MAX);
  EXPECT_FALSE(reader.readU8(0, byte));
  EXPECT_EQ(reader.window(1).bytesLeft(), 0U);
}

TEST(QNVByteReaderTest, WindowCoversExactlyTheBytesAsked) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
  QNVByteReader reader(bytes, bytes + 6);
  reader.advance(2);
  const QNVByteReader window = reader.window(3);
  EXPECT_EQ(window.bytesLeft(), 3U);
  uint8_t byte = 0;
  ASSERT_TRUE(window.readU8(2, byte));
  EXPECT_EQ(byte, 5);
  EXPECT_FALSE(window.readU8(3, byte));
  EXPECT_EQ(reader.window(5).bytesLeft(), 0U) << "a window larger than what is left is empty";
}

}  // namespace
}  // namespace plexora

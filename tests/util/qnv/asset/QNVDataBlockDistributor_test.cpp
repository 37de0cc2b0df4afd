#include "util/qnv/asset/QNVDataBlockDistributor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/asset/OVAssetLinearReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora {
namespace {

// A block of `length` bytes whose every byte is the low 8 bits of its file
// offset, so any answer can be checked against where it claims to be.
QNVDataBlockDistributor::Block block(uint64_t offset, uint64_t length) {
  auto bytes = std::make_shared<std::vector<uint8_t>>(length);
  for (uint64_t i = 0; i < length; ++i) (*bytes)[i] = static_cast<uint8_t>(offset + i);
  return bytes;
}

bool holdsFileBytes(const uint8_t* bytes, uint64_t offset, uint64_t length) {
  if (bytes == nullptr) return false;
  for (uint64_t i = 0; i < length; ++i) {
    if (bytes[i] != static_cast<uint8_t>(offset + i)) return false;
  }
  return true;
}

struct RecordingConsumer : OVDataBlockConsumer {
  int available = 0;
  uint64_t trashed = 0;
  void dataBlockDistributorHasDataAvailable() override { ++available; }
  void dataTrashed(uint64_t count) override { trashed += count; }
};

TEST(QNVDataBlockDistributorTest, PointsIntoABlockOrStitchesAcrossBlocks) {
  QNVDataBlockDistributor distributor;
  const auto first = block(0, 100);
  distributor.deliverData(first, 0);
  distributor.deliverData(block(100, 100), 100);
  distributor.addHeadType(kQNVDataBlockHeadBoxParser, 0);
  EXPECT_EQ(distributor.bytesAtHead(10, 0), first->data()) << "no copy inside one block";
  distributor.moveHeadTo(80, 0);
  const uint8_t* stitched = distributor.bytesAtHead(50, 0);
  EXPECT_TRUE(holdsFileBytes(stitched, 80, 50));
  EXPECT_NE(stitched, first->data() + 80);
}

TEST(QNVDataBlockDistributorTest, AStarvingHeadIsServedByTheDeliveryThatFillsTheHole) {
  auto consumer = std::make_shared<RecordingConsumer>();
  QNVDataBlockDistributor distributor;
  distributor.setConsumer(consumer);
  distributor.deliverData(block(0, 100), 0);
  distributor.deliverData(block(150, 50), 150);
  distributor.addHeadType(kQNVDataBlockHeadVideo, 50);
  EXPECT_EQ(distributor.bytesAtHead(100, kQNVDataBlockHeadVideo), nullptr);
  distributor.deliverData(block(100, 50), 100);
  EXPECT_EQ(consumer->available, 1);
  EXPECT_TRUE(holdsFileBytes(distributor.bytesAtHead(100, kQNVDataBlockHeadVideo), 50, 100));
}

TEST(QNVDataBlockDistributorTest, MovingAHeadForgetsItsStarvingRequest) {
  auto consumer = std::make_shared<RecordingConsumer>();
  QNVDataBlockDistributor distributor;
  distributor.setConsumer(consumer);
  distributor.addHeadType(kQNVDataBlockHeadBoxParser, 0);
  EXPECT_EQ(distributor.bytesAtHead(1000, 0), nullptr);
  distributor.moveHeadTo(10, 0);
  distributor.deliverData(block(0, 20), 0);
  EXPECT_EQ(consumer->available, 0) << "nobody waits for the old request any more";
}

TEST(QNVDataBlockDistributorTest, DropsBlocksEveryActiveHeadHasPassed) {
  auto consumer = std::make_shared<RecordingConsumer>();
  QNVDataBlockDistributor distributor;
  distributor.setConsumer(consumer);
  distributor.deliverData(block(0, 100), 0);
  distributor.deliverData(block(100, 100), 100);
  distributor.addHeadType(kQNVDataBlockHeadBoxParser, 0);
  distributor.moveHeadTo(100, 0);
  EXPECT_EQ(consumer->trashed, 1U);
  EXPECT_TRUE(holdsFileBytes(distributor.bytesAtHead(100, 0), 100, 100));

  distributor.addHeadType(kQNVDataBlockHeadAudio, 100);
  distributor.moveHeadTo(200, 0);
  EXPECT_EQ(consumer->trashed, 1U) << "the audio head still reads the block";
  distributor.moveHeadTo(200, kQNVDataBlockHeadAudio);
  EXPECT_EQ(consumer->trashed, 2U);
}

TEST(QNVDataBlockDistributorTest, EqualOffsetsPreferTheLongerBlock) {
  QNVDataBlockDistributor distributor;
  distributor.deliverData(block(0, 10), 0);
  const auto longer = block(0, 30);
  distributor.deliverData(longer, 0);
  distributor.addHeadType(0, 0);
  EXPECT_EQ(distributor.bytesAtHead(5, 0), longer->data());
  EXPECT_EQ(distributor.bytesAtHead(25, 0), longer->data());
}

TEST(QNVDataBlockDistributorTest, ARequestPastTheContentIsRefusedWithoutStarving) {
  auto consumer = std::make_shared<RecordingConsumer>();
  QNVDataBlockDistributor distributor;
  distributor.setConsumer(consumer);
  distributor.setContentLength(100);
  distributor.addHeadType(0, 0);
  distributor.addHeadType(1, 0);
  EXPECT_EQ(distributor.bytesAtHead(UINT64_MAX, 0), nullptr) << "no allocation, no overflow";
  EXPECT_EQ(distributor.bytesAtHead(50, 1), nullptr);
  distributor.deliverData(block(0, 100), 0);
  EXPECT_EQ(consumer->available, 1) << "only head 1 was waiting";
  EXPECT_EQ(distributor.description().find("head[0]:0 head[1]:0 head[2]:0>") != std::string::npos, true);
}

// A real clip delivered in shuffled chunks while a reader thread parses its
// movie box through the linear reader, as a download and the box manager do.
TEST(QNVDataBlockDistributorTest, ParsesAClipDeliveredOutOfOrderFromAnotherThread) {
  std::ifstream file(std::string(PLEXORA_TEST_MEDIA_DIR) + "/baseline_aac_moov_last.mp4", std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  std::vector<std::pair<uint64_t, uint64_t>> chunks;
  for (uint64_t offset = 0; offset < bytes.size(); offset += 997) {
    chunks.emplace_back(offset, std::min<uint64_t>(997, bytes.size() - offset));
  }
  std::shuffle(chunks.begin(), chunks.end(), std::mt19937(7));

  auto distributor = std::make_shared<QNVDataBlockDistributor>();
  distributor->setContentLength(bytes.size());
  distributor->addHeadType(kQNVDataBlockHeadBoxParser, 0);
  std::thread downloader([&] {
    for (const auto& [offset, length] : chunks) {
      distributor->deliverData(
          std::make_shared<std::vector<uint8_t>>(bytes.begin() + offset, bytes.begin() + offset + length), offset);
      std::this_thread::yield();
    }
  });
  OVAssetLinearReader reader(distributor);
  QNVMP4MoovAtomProvider provider;
  QNVMp4ParseResult result = kQNVMp4ParseNeedMoreData;
  while (result == kQNVMp4ParseNeedMoreData) {
    result = parseMoovAtom(provider, reader);
    std::this_thread::yield();
  }
  downloader.join();
  ASSERT_EQ(result, kQNVMp4ParseDone);
  EXPECT_EQ(reader.offset() + provider.moovAtomSize, bytes.size()) << "the moov is last";
  testing::RecordingFrameStore store;
  addSamplesOfTrack(store, provider.moovAtom, 0);
  EXPECT_EQ(store.frames.size(), 30U);
}

}  // namespace
}  // namespace plexora

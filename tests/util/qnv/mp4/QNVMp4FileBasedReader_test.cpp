#include "util/qnv/mp4/QNVMp4FileBasedReader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.h"

namespace plexora {
namespace {

TEST(QNVMp4FileBasedReaderTest, ReadsAtTheHeadUntilTheFileEnds) {
  testing::TempDir dir;
  const auto path = dir / "ten.bin";
  std::ofstream(path, std::ios::binary) << "0123456789";
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path.string());
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->totalLength(), 10U);

  const uint8_t* bytes = reader->bytesAtHead(4);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 4), "0123");
  EXPECT_EQ(reader->bytesAtHead(11), nullptr);
  reader->moveHead(7);
  bytes = reader->bytesAtHead(3);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 3), "789");
  EXPECT_EQ(reader->bytesAtHead(4), nullptr) << "fewer bytes remain";
  // A count no file could hold is answered without reading or allocating.
  EXPECT_EQ(reader->bytesAtHead(INT64_MAX), nullptr);
  EXPECT_EQ(reader->bytesAtHead(-1), nullptr);
  reader->moveHead(100);
  EXPECT_EQ(reader->bytesAtHead(1), nullptr);

  EXPECT_EQ(QNVMp4FileBasedReader::initWithFilePath((dir / "missing").string()), nullptr);
  EXPECT_EQ(QNVMp4FileBasedReader::initWithFilePath(dir.path().string()), nullptr) << "a directory";
}

}  // namespace
}  // namespace plexora

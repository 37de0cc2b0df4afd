#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora {
namespace {

QNVMp4FrameRecord regularFrame(uint32_t i) {
  return {1000 + 1000 * uint64_t{i}, 900, 512, 512 * uint64_t{i}, 512 * uint64_t{i}, 512 * uint64_t{i}};
}

TEST(QNVVodMp4FrameMetadataCompressorTest, RunsOfAHundredDeltasWhileTheReaderLagsBehind) {
  QNVVodMp4FrameMetadataCompressor store;
  for (uint32_t i = 0; i < 250; ++i) store.addFrame(regularFrame(i));
  EXPECT_EQ(store.keyframeEntryCount(), 3U);
  EXPECT_EQ(store.deltaEntryCount(), 247U);
  EXPECT_EQ(store.largestOffset(), 1000 + 1000 * 249 + 900U);
  for (uint32_t i : {0U, 100U, 101U, 150U, 200U, 201U, 249U}) EXPECT_EQ(store.frameAtIndex(i), regularFrame(i)) << i;
  EXPECT_EQ(store.frameAtIndex(250), QNVMp4FrameRecord{}) << "past the end: an empty record";

  // Walking forward reads every frame, then stops.
  ASSERT_TRUE(store.seekToFrameIndex(0));
  for (uint32_t i = 1; i < 250; ++i) {
    ASSERT_TRUE(store.Next()) << i;
    ASSERT_EQ(store.currentFrame(), regularFrame(i)) << i;
  }
  EXPECT_FALSE(store.Next());
  EXPECT_TRUE(store.isAtEnd());
  store.addFrame(regularFrame(250));
  EXPECT_EQ(store.currentFrame(), regularFrame(250)) << "a reader waiting at the end sees the new frame";
  EXPECT_EQ(store.keyframeEntryCount(), 4U);
}

TEST(QNVVodMp4FrameMetadataCompressorTest, ACaughtUpReaderMakesEveryFrameAnEntry) {
  QNVVodMp4FrameMetadataCompressor store;
  store.addFrame(regularFrame(0));
  for (uint32_t i = 1; i < 20; ++i) {
    EXPECT_FALSE(store.Next());
    store.addFrame(regularFrame(i));
    EXPECT_EQ(store.currentFrame(), regularFrame(i));
  }
  EXPECT_EQ(store.keyframeEntryCount(), 20U);
  EXPECT_EQ(store.deltaEntryCount(), 0U);
}

TEST(QNVVodMp4FrameMetadataCompressorTest, WhatStartsANewRun) {
  struct Case {
    const char* name;
    void (*edit)(QNVMp4FrameRecord&);
  } cases[] = {
      {"size of 65535", [](QNVMp4FrameRecord& f) { f.size = 65535; }},
      {"offset step of 65535", [](QNVMp4FrameRecord& f) { f.offset = 1000 + 1000 + 65535; }},
      {"another duration", [](QNVMp4FrameRecord& f) { f.duration = 511; }},
      {"a decode step beyond 16 bits", [](QNVMp4FrameRecord& f) { f.dts = f.absoluteDts = 512 + 40000; }},
      {"an offset going back", [](QNVMp4FrameRecord& f) { f.offset = 10; }},
      {"another absolute-time offset", [](QNVMp4FrameRecord& f) { f.absoluteDts += 1; }},
  };
  for (const auto& c : cases) {
    QNVVodMp4FrameMetadataCompressor store;
    store.addFrame(regularFrame(0));
    store.addFrame(regularFrame(1));
    QNVMp4FrameRecord odd = regularFrame(2);
    c.edit(odd);
    store.addFrame(odd);
    EXPECT_EQ(store.keyframeEntryCount(), 2U) << c.name;
    store.addFrame(regularFrame(3));
    EXPECT_EQ(store.frameAtIndex(2), odd) << c.name;
    EXPECT_EQ(store.frameAtIndex(1), regularFrame(1)) << c.name;
  }
}

TEST(QNVVodMp4FrameMetadataCompressorTest, FrameForOffset) {
  QNVVodMp4FrameMetadataCompressor store;
  EXPECT_EQ(store.frameForOffset(5), QNVMp4FrameRecord{});
  for (uint32_t i = 0; i < 150; ++i) store.addFrame(regularFrame(i));
  EXPECT_EQ(store.frameForOffset(3500), regularFrame(2)) << "inside the third frame";
  EXPECT_EQ(store.frameForOffset(0), regularFrame(0)) << "before the first frame";
  EXPECT_EQ(store.frameForOffset(1000 + 1000 * 120 + 5), regularFrame(120)) << "in the second run";
  EXPECT_EQ(store.frameForOffset(UINT64_MAX), regularFrame(149));
}

// The sample walk of a real clip: whatever the store compacts, every frame
// reads back as it was added, by index, by walking and by offset.
TEST(QNVVodMp4FrameMetadataCompressorTest, RecordsOfAClipReadBackUnchanged) {
  auto reader = QNVMp4FileBasedReader::initWithFilePath(std::string(PLEXORA_TEST_MEDIA_DIR) + "/main_bframes.mp4");
  ASSERT_NE(reader, nullptr);
  QNVMP4MoovAtomProvider provider;
  ASSERT_EQ(parseMoovAtom(provider, *reader), kQNVMp4ParseDone);
  for (size_t track = 0; track < provider.moovAtom.trakAtoms.size(); ++track) {
    testing::RecordingFrameStore expected;
    addSamplesOfTrack(expected, provider.moovAtom, track);
    QNVVodMp4FrameMetadataCompressor store;
    addSamplesOfTrack(store, provider.moovAtom, track);
    ASSERT_EQ(store.frameCount(), expected.frames.size());
    EXPECT_EQ(store.currentFrameIndex(), 0U);
    EXPECT_LT(store.keyframeEntryCount(), expected.frames.size() / 2) << "most frames are deltas";
    for (uint32_t i = 0; i < store.frameCount(); ++i) {
      ASSERT_EQ(store.frameAtIndex(i), expected.frames[i]) << track << " " << i;
      ASSERT_EQ(store.frameForOffset(expected.frames[i].offset), expected.frames[i]) << track << " " << i;
      ASSERT_EQ(store.currentFrame(), expected.frames[i]) << track << " " << i;
      store.Next();
    }
    EXPECT_EQ(store.firstFrame(), expected.frames.front());
    EXPECT_EQ(store.lastFrame(), expected.frames.back());
  }
}

}  // namespace
}  // namespace plexora

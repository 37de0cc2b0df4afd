#include "util/qnv/mp4/QNVMp4SampleTables.h"

#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4MovieFixtures.h"
#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/QNVMp4Parser.h"

namespace plexora {
namespace {

using testing::MemoryStreamingReader;
using testing::MovieSpec;
using testing::RecordingFrameStore;
using testing::TrackSpec;

QNVMP4MoovAtom parse(const MovieSpec& movie) {
  MemoryStreamingReader reader(moovBox(movie));
  QNVMP4MoovAtomProvider provider;
  EXPECT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
  return provider.moovAtom;
}

std::vector<QNVMp4FrameRecord> framesOf(const TrackSpec& track, uint32_t movieTimescale = 1000) {
  MovieSpec movie;
  movie.timescale = movieTimescale;
  movie.tracks = {track};
  RecordingFrameStore store;
  store.readIndex = 7;
  addSamplesOfTrack(store, parse(movie), 0);
  EXPECT_EQ(store.readIndex, store.frames.empty() ? 7U : 0U) << "the walk ends by seeking to frame 0";
  return store.frames;
}

TEST(QNVMp4SampleTablesTest, WalksSamplesOfOneChunk) {
  TrackSpec track;
  track.sizes = {10, 20, 30};
  track.stts = {{3, 512}};
  track.stsc = {{1, 3, 1}};
  track.chunkOffsets = {1000};
  const auto frames = framesOf(track);
  ASSERT_EQ(frames.size(), 3U);
  const uint64_t offsets[] = {1000, 1010, 1030};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(frames[i].offset, offsets[i]);
    EXPECT_EQ(frames[i].dts, 512 * i);
    EXPECT_EQ(frames[i].pts, 512 * i);
    EXPECT_EQ(frames[i].absoluteDts, 512 * i);
    EXPECT_EQ(frames[i].duration, 512U);
  }
}

TEST(QNVMp4SampleTablesTest, SampleToChunkEntriesApplyFromTheirFirstChunk) {
  TrackSpec track;
  track.sizes = {1, 2, 3, 4, 5, 6};
  track.stts = {{6, 1}};
  track.stsc = {{1, 2, 1}, {3, 1, 1}};
  track.chunkOffsets = {100, 200, 300, 400};
  std::vector<uint64_t> offsets;
  for (const auto& frame : framesOf(track)) offsets.push_back(frame.offset);
  EXPECT_EQ(offsets, (std::vector<uint64_t>{100, 101, 200, 203, 300, 400}));
}

TEST(QNVMp4SampleTablesTest, WalkStopsWhenAnyTableRunsOut) {
  TrackSpec base;
  base.sizes = {1, 1, 1, 1};
  base.stts = {{4, 10}};
  base.stsc = {{1, 1, 1}};
  base.chunkOffsets = {0, 10, 20, 30};
  struct Case {
    const char* name;
    void (*edit)(TrackSpec&);
    size_t frames;
  } cases[] = {
      {"complete", [](TrackSpec&) {}, 4},
      {"no time-to-sample table", [](TrackSpec& t) { t.stts.clear(); }, 0},
      {"time-to-sample covers two", [](TrackSpec& t) { t.stts = {{2, 10}}; }, 2},
      {"three chunks", [](TrackSpec& t) { t.chunkOffsets.resize(3); }, 3},
      {"no sample-to-chunk table", [](TrackSpec& t) { t.stsc.clear(); }, 0},
      {"two sizes", [](TrackSpec& t) { t.sizes.resize(2); }, 2},
      // Runs of zero samples describe nothing and are passed over.
      {"empty time-to-sample runs", [](TrackSpec& t) { t.stts = {{0, 99}, {2, 10}, {0, 5}, {2, 10}}; }, 4},
  };
  for (const auto& c : cases) {
    TrackSpec track = base;
    c.edit(track);
    const auto frames = framesOf(track);
    EXPECT_EQ(frames.size(), c.frames) << c.name;
    for (const auto& frame : frames) EXPECT_EQ(frame.duration, 10U) << c.name;
  }
}

TEST(QNVMp4SampleTablesTest, CompositionOffsetsAndEditListGivePresentationTimes) {
  // I P B B: decode order with offsets that reorder them, and an edit that
  // starts the presentation at the first frame's composition time.
  TrackSpec track;
  track.sizes = {1, 1, 1, 1};
  track.stts = {{4, 512}};
  track.stsc = {{1, 4, 1}};
  track.chunkOffsets = {0};
  track.ctts = {{1, 1024}, {1, 2048}, {2, 0}};
  track.mediaTimescale = 12800;
  track.edits = {{1000, 1024}};  // one second of the 1000-unit movie timescale
  const auto frames = framesOf(track);
  ASSERT_EQ(frames.size(), 4U);
  EXPECT_EQ(frames[0].pts, 0U);
  EXPECT_EQ(frames[1].pts, 1536U);
  EXPECT_EQ(frames[2].pts, 0U) << "dts 1024, offset 0";
  EXPECT_EQ(frames[3].pts, 512U);
}

TEST(QNVMp4SampleTablesTest, NegativeCompositionOffsetsNeverWrap) {
  TrackSpec track;
  track.sizes = {1, 1};
  track.stts = {{2, 100}};
  track.stsc = {{1, 2, 1}};
  track.chunkOffsets = {0};
  track.cttsVersion = 1;
  track.ctts = {{1, -500}, {1, -50}};
  const auto frames = framesOf(track);
  ASSERT_EQ(frames.size(), 2U);
  EXPECT_EQ(frames[0].pts, 0U);
  EXPECT_EQ(frames[1].pts, 50U);
}

TEST(QNVMp4SampleTablesTest, PresentationTimeThroughEdits) {
  const std::vector<QNVMP4EditListEntry> single = {{2048, 1024, 0x10000}};
  const std::vector<uint64_t> singleDurations = {2048};
  EXPECT_EQ(presentationTimeForMediaTime(1024, single, singleDurations), 0U);
  EXPECT_EQ(presentationTimeForMediaTime(3071, single, singleDurations), 2047U);
  EXPECT_EQ(presentationTimeForMediaTime(512, single, singleDurations), 512U) << "before the edit: unchanged";
  EXPECT_EQ(presentationTimeForMediaTime(5000, single, singleDurations), 2048U) << "past the edit: its end";

  // An empty second of a 1000-unit movie before a normal edit, in a 48000
  // media timescale.
  const std::vector<QNVMP4EditListEntry> delayed = {{1000, -1, 0x10000}, {2000, 0, 0x10000}};
  const auto durations = editDurationsInMediaTime(delayed, 48000, 1000);
  EXPECT_EQ(durations, (std::vector<uint64_t>{48000, 96000}));
  EXPECT_EQ(presentationTimeForMediaTime(0, delayed, durations), 48000U);
  EXPECT_EQ(presentationTimeForMediaTime(1000, delayed, durations), 49000U);
  EXPECT_TRUE(editDurationsInMediaTime(delayed, 48000, 0) == (std::vector<uint64_t>{0, 0}));
}

TEST(QNVMp4SampleTablesTest, SeekAdjustmentInvertsThePresentationMapping) {
  const std::vector<QNVMP4EditListEntry> edits[] = {
      {{2048, 1024, 0x10000}},
      {{48000, -1, 0x10000}, {96000, 0, 0x10000}},
      {{500, 100, 0x10000}, {700, 3000, 0x10000}},
  };
  for (const auto& list : edits) {
    std::vector<uint64_t> durations;
    for (const auto& edit : list) durations.push_back(edit.segmentDuration);
    for (uint64_t media : {0ULL, 100ULL, 599ULL, 1024ULL, 2000ULL, 3071ULL, 3100ULL, 3699ULL, 50000ULL}) {
      const uint64_t shown = presentationTimeForMediaTime(media, list, durations);
      const uint64_t back = mediaTimeForPresentationTime(shown, list, durations);
      // Inside an edit the round trip is exact; a media time outside every
      // edit is not shown and comes back as the one shown in its place.
      EXPECT_EQ(presentationTimeForMediaTime(back, list, durations), shown) << media;
    }
  }
  const std::vector<QNVMP4EditListEntry> delayed = {{48000, -1, 0x10000}, {96000, 0, 0x10000}};
  const std::vector<uint64_t> durations = {48000, 96000};
  EXPECT_EQ(mediaTimeForPresentationTime(100, delayed, durations), 0U) << "inside the empty edit";
  EXPECT_EQ(mediaTimeForPresentationTime(50000, delayed, durations), 2000U);
}

QNVMP4MoovAtomCompressed compressedTrack(const TrackSpec& track) {
  MovieSpec movie;
  movie.tracks = {track};
  QNVMP4MoovAtomCompressed compressed;
  EXPECT_TRUE(compressMoovAtom(parse(movie), compressed));
  return compressed;
}

TEST(QNVMp4SampleTablesTest, SampleIndexForTimeFindsTheSampleAndTheSyncSampleAtOrBefore) {
  TrackSpec track;
  track.sizes.assign(90, 1);
  track.stts = {{90, 10}};
  track.stsc = {{1, 90, 1}};
  track.chunkOffsets = {0};
  track.stss = {1, 31, 61};
  const auto compressed = compressedTrack(track);
  ASSERT_EQ(compressed.trakAtoms.size(), 1U);
  EXPECT_EQ(compressed.trakAtoms[0].sampleCount, 90U);

  struct Case {
    uint64_t time;
    bool sync;
    uint32_t index;
  } cases[] = {
      {0, false, 0}, {405, false, 40}, {10'000, false, 89},
      {400, true, 30}, {300, true, 30}, {299, true, 0}, {600, true, 60}, {10'000, true, 60},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sampleIndexForTime(compressed, c.time, 0, c.sync), c.index) << c.time << " sync " << c.sync;
  }
  EXPECT_EQ(sampleIndexForTime(compressed, 400, 1, false), 0U) << "no such track";
}

TEST(QNVMp4SampleTablesTest, SampleIndexForTimeSeeksThroughTheEditList) {
  TrackSpec track;
  track.sizes.assign(10, 1);
  track.stts = {{10, 512}};
  track.stsc = {{1, 10, 1}};
  track.chunkOffsets = {0};
  track.mediaTimescale = 1000;
  track.edits = {{4096, 1024}};
  const auto compressed = compressedTrack(track);
  // Presentation 0 shows media time 1024, the third sample.
  EXPECT_EQ(sampleIndexForTime(compressed, 0, 0, false), 2U);
  EXPECT_EQ(sampleIndexForTime(compressed, 1024, 0, false), 4U);
}

TEST(QNVMp4SampleTablesTest, CompressRefusesMoreThan255Tracks) {
  QNVMP4MoovAtom moov;
  moov.trakAtoms.resize(256);
  QNVMP4MoovAtomCompressed compressed;
  compressed.mvhdAtom.timescale = 77;
  EXPECT_FALSE(compressMoovAtom(moov, compressed));
  EXPECT_EQ(compressed.mvhdAtom.timescale, 77U);
  EXPECT_TRUE(compressed.trakAtoms.empty());
  moov.trakAtoms.resize(255);
  EXPECT_TRUE(compressMoovAtom(moov, compressed));
  EXPECT_EQ(compressed.trakAtoms.size(), 255U);
}

}  // namespace
}  // namespace plexora

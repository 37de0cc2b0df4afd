#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"

#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4TestDoubles.h"

namespace plexora {
namespace {

using testing::RecordingFrameStore;

constexpr uint32_t kSync = 0;
constexpr uint32_t kNonSync = 0x10000;

// A moof of one traf and one run of samples with explicit durations, sizes
// and flags.
QNVMP4MoofAtom fragment(uint32_t sequence, uint64_t baseDts, std::vector<uint32_t> flags, uint32_t duration = 100) {
  QNVMP4MoofAtom moof;
  moof.offset = 5000;
  moof.sequenceNumber = sequence;
  QNVMP4TrafAtom traf;
  traf.trackId = 1;
  traf.baseMediaDecodeTime = baseDts;
  QNVMP4TrunAtom trun;
  trun.sampleCount = static_cast<uint32_t>(flags.size());
  trun.dataOffset = 16;
  trun.hasDataOffset = true;
  for (uint32_t f : flags) trun.samples.push_back({duration, 10, f, 0});
  traf.trunAtoms.push_back(trun);
  moof.trafAtoms.push_back(traf);
  return moof;
}

struct Decoder {
  RecordingFrameStore store;
  QNVMP4MoovAtomProvider provider;
  std::vector<platform::Error> errors;

  void decode(const QNVMP4MoofAtom& moof) {
    decodeMoofAtom(store, provider, moof, 0, "video", [this](const platform::Error& error) { errors.push_back(error); });
  }
  std::vector<int64_t> codes() const {
    std::vector<int64_t> out;
    for (const auto& error : errors) out.push_back(error.code());
    return out;
  }
};

TEST(QNVMp4FragmentDecoderTest, FirstFragmentGivesRecordsFromItsRun) {
  Decoder decoder;
  decoder.decode(fragment(7, 9000, {kSync, kNonSync, kNonSync}));
  ASSERT_EQ(decoder.store.frames.size(), 3U);
  const auto& frames = decoder.store.frames;
  EXPECT_EQ(frames[0].offset, 5016U);
  EXPECT_EQ(frames[1].offset, 5026U);
  EXPECT_EQ(frames[2].dts, 9200U);
  EXPECT_EQ(frames[2].absoluteDts, 9200U);
  EXPECT_EQ(decoder.store.sequenceNumber, 7U);
  EXPECT_TRUE(decoder.errors.empty());
}

TEST(QNVMp4FragmentDecoderTest, ContinuityOfConsecutiveFragments) {
  struct Case {
    const char* name;
    uint64_t secondBase;  // the first fragment ends at 1300 (3 frames of 100 from 1000)
    std::vector<int64_t> codes;
    uint64_t delta;
  } cases[] = {
      {"joined exactly", 1300, {}, 0},
      {"gap of 1000 is rounding", 2300, {}, 0},
      {"gap of 1001", 2301, {kQNVMp4FragmentDiscontinuity}, 1001},
      {"slight overlap inside the last frame", 1299, {}, 0},
      {"overlap before the last frame's decode time", 1150, {kQNVMp4FragmentOverlap}, 150},
  };
  for (const auto& c : cases) {
    Decoder decoder;
    decoder.decode(fragment(7, 1000, {kSync, kNonSync, kNonSync}));
    decoder.decode(fragment(8, c.secondBase, {kNonSync, kNonSync}));
    // A run that does not start with a sync sample is reported after the
    // placement, whatever the placement was.
    std::vector<int64_t> expected = c.codes;
    expected.push_back(kQNVMp4FragmentNoLeadingKeyframe);
    EXPECT_EQ(decoder.codes(), expected) << c.name;
    if (!c.codes.empty()) {
      const auto* delta = decoder.errors[0].userInfo().find("delta");
      ASSERT_NE(delta, nullptr) << c.name;
      EXPECT_EQ(delta->asInteger(), static_cast<int64_t>(c.delta)) << c.name;
      EXPECT_EQ(decoder.errors[0].domain(), "QNVMp4Parser");
      EXPECT_EQ(decoder.errors[0].userInfo().find("tag")->asString(), "video");
      EXPECT_EQ(decoder.errors[0].userInfo().find("seqnum")->asInteger(), 8);
    }
    // A contiguous fragment keeps its leading non-sync samples, placed where
    // its base decode time says.
    ASSERT_EQ(decoder.store.frames.size(), 5U) << c.name;
    EXPECT_EQ(decoder.store.frames[3].dts, c.secondBase) << c.name;
  }
}

TEST(QNVMp4FragmentDecoderTest, AfterASequenceGapLeadingNonSyncSamplesAreDropped) {
  Decoder decoder;
  decoder.decode(fragment(1, 0, {kSync, kNonSync}));
  decoder.decode(fragment(5, 1000, {kNonSync, kNonSync, kSync, kNonSync}));
  EXPECT_EQ(decoder.codes(), (std::vector<int64_t>{kQNVMp4FragmentNoLeadingKeyframe}));
  ASSERT_EQ(decoder.store.frames.size(), 4U);
  // Placed right after the last frame; the sync sample is the third of the run.
  EXPECT_EQ(decoder.store.frames[2].dts, 200U + 200);
  EXPECT_EQ(decoder.store.frames[2].absoluteDts, 1200U);
  EXPECT_EQ(decoder.store.frames[2].offset, 5016U + 20);
  EXPECT_EQ(decoder.store.frames[3].dts, 500U);
}

TEST(QNVMp4FragmentDecoderTest, SequenceGapPlacements) {
  struct Case {
    const char* name;
    uint64_t base;  // the last frame: dts 100, absolute 100, duration 100
    std::vector<int64_t> codes;
    uint64_t firstDts;
  } cases[] = {
      {"later than the last frame's end", 500, {}, 200},
      {"inside the last frame", 150, {kQNVMp4FragmentPriorDurationTooLong}, 150},
      {"before the last frame", 50, {kQNVMp4FragmentTimeWentBack}, 200},
  };
  for (const auto& c : cases) {
    Decoder decoder;
    decoder.decode(fragment(1, 0, {kSync, kNonSync}));
    decoder.decode(fragment(3, c.base, {kSync}));
    EXPECT_EQ(decoder.codes(), c.codes) << c.name;
    ASSERT_EQ(decoder.store.frames.size(), 3U) << c.name;
    EXPECT_EQ(decoder.store.frames[2].dts, c.firstDts) << c.name;
  }
}

TEST(QNVMp4FragmentDecoderTest, SampleFieldsFallBackToTrackFragmentThenMovieDefaults) {
  Decoder decoder;
  decoder.provider.moovAtom.mvexAtom.trexAtoms = {{2, 1, 777, 55, kNonSync}, {1, 1, 40, 30, kNonSync}};
  QNVMP4MoofAtom moof;
  moof.sequenceNumber = 1;
  QNVMP4TrafAtom traf;
  traf.trackId = 1;
  traf.defaultSampleSize = 12;
  QNVMP4TrunAtom trun;
  trun.sampleCount = 3;
  trun.firstSampleFlags = kSync;  // only the first sample: the others take the trex's non-sync default
  traf.trunAtoms = {trun};
  // A second run whose first sample is not a sync sample.
  QNVMP4TrunAtom second;
  second.sampleCount = 1;
  traf.trunAtoms.push_back(second);
  moof.trafAtoms = {traf};
  decoder.decode(moof);
  ASSERT_EQ(decoder.store.frames.size(), 4U);
  for (const auto& frame : decoder.store.frames) {
    EXPECT_EQ(frame.duration, 40U) << "trex of track 1, not the first trex";
    EXPECT_EQ(frame.size, 12U);
  }
  EXPECT_EQ(decoder.codes(), (std::vector<int64_t>{kQNVMp4FragmentNoLeadingKeyframe}));

  // A first sample that is not a sync sample, the others sync by the traf's
  // default: only the first is dropped from a fragment that starts nowhere.
  Decoder fresh;
  moof.trafAtoms[0].trunAtoms = {trun};
  moof.trafAtoms[0].trunAtoms[0].firstSampleFlags = kNonSync;
  moof.trafAtoms[0].defaultSampleFlags = kSync;
  fresh.decode(moof);
  EXPECT_EQ(fresh.store.frames.size(), 2U);
}

// Each run of a track fragment starts at its own data offset, or where the
// run before it ended when it has none; never shifted by the bytes of the
// runs before it.
TEST(QNVMp4FragmentDecoderTest, EachRunStartsAtItsOwnDataOffsetOrWhereTheRunBeforeEnded) {
  Decoder decoder;
  QNVMP4MoofAtom moof = fragment(1, 0, {kSync, kNonSync});
  QNVMP4TrunAtom atOffset;
  atOffset.sampleCount = 1;
  atOffset.dataOffset = 100;
  atOffset.hasDataOffset = true;
  atOffset.samples.push_back({100, 7, kNonSync, 0});
  QNVMP4TrunAtom following;
  following.sampleCount = 2;
  following.samples = {{100, 5, kNonSync, 0}, {100, 5, kNonSync, 0}};
  moof.trafAtoms[0].trunAtoms.push_back(atOffset);
  moof.trafAtoms[0].trunAtoms.push_back(following);
  decoder.decode(moof);
  std::vector<uint64_t> offsets;
  for (const auto& frame : decoder.store.frames) offsets.push_back(frame.offset);
  EXPECT_EQ(offsets, (std::vector<uint64_t>{5016, 5026, 5100, 5107, 5112}));
}

TEST(QNVMp4FragmentDecoderTest, OffsetsBeyondFourGigabytes) {
  Decoder decoder;
  QNVMP4MoofAtom moof = fragment(1, 0, {kSync, kNonSync});
  moof.trafAtoms[0].baseDataOffset = 0x1'0000'0000ULL;
  decoder.decode(moof);
  ASSERT_EQ(decoder.store.frames.size(), 2U);
  EXPECT_EQ(decoder.store.frames[1].offset, 0x1'0000'0000ULL + 16 + 10);
  moof.offset = 0xFFFF'FFF0ULL;
  moof.trafAtoms[0].baseDataOffset = 0;
  moof.sequenceNumber = 2;
  moof.trafAtoms[0].baseMediaDecodeTime = 200;
  decoder.decode(moof);
  EXPECT_EQ(decoder.store.frames[3].offset, 0xFFFF'FFF0ULL + 16 + 10) << "the moof's own offset, without a 32-bit wrap";
}

TEST(QNVMp4FragmentDecoderTest, SignedCompositionOffsetsAndEmptyFragments) {
  Decoder decoder;
  QNVMP4MoofAtom moof = fragment(1, 0, {kSync, kNonSync});
  moof.trafAtoms[0].trunAtoms[0].samples[0].compositionTimeOffset = -50;
  moof.trafAtoms[0].trunAtoms[0].samples[1].compositionTimeOffset = -30;
  decoder.decode(moof);
  ASSERT_EQ(decoder.store.frames.size(), 2U);
  EXPECT_EQ(decoder.store.frames[0].pts, 0U) << "never below 0";
  EXPECT_EQ(decoder.store.frames[1].pts, 70U);

  QNVMP4MoofAtom empty = fragment(2, 0, {});
  decoder.decode(empty);
  EXPECT_EQ(decoder.store.frames.size(), 2U);
  EXPECT_EQ(decoder.store.sequenceNumber, 1U) << "an empty moof is ignored whole";
}

}  // namespace
}  // namespace plexora

#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/Mp4BoxWriter.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {
namespace {

using testing::Bytes;
using testing::concat;
using testing::MemoryStreamingReader;
using testing::Mp4BoxWriter;

Bytes mdat(size_t payload) {
  Mp4BoxWriter w;
  w.open("mdat").zeros(payload).close();
  return w.take();
}

// A moof with one traf whose trun carries the fields of `trunFlags`, two
// samples of each, and a tfdt of the given version.
Bytes moof(uint32_t sequence, uint32_t trunFlags, uint8_t trunVersion = 0, uint8_t tfdtVersion = 1,
           uint32_t tfhdFlags = 0x20000) {
  Mp4BoxWriter w;
  w.open("moof");
  w.openFull("mfhd", 0).u32(sequence).close();
  w.open("traf");
  w.openFull("tfhd", 0, tfhdFlags).u32(1);
  if ((tfhdFlags & 0x1) != 0) w.u64(0x1'0000'0000ULL);
  if ((tfhdFlags & 0x2) != 0) w.u32(1);
  if ((tfhdFlags & 0x8) != 0) w.u32(100);
  if ((tfhdFlags & 0x10) != 0) w.u32(300);
  if ((tfhdFlags & 0x20) != 0) w.u32(0x10000);
  w.close();
  if (tfdtVersion == 1) {
    w.openFull("tfdt", 1).u64(0x2'0000'0000ULL).close();
  } else {
    w.openFull("tfdt", 0).u32(9000).close();
  }
  w.openFull("trun", trunVersion, trunFlags).u32(2);
  if ((trunFlags & 0x1) != 0) w.u32(static_cast<uint32_t>(-8));
  if ((trunFlags & 0x4) != 0) w.u32(0x2000000);
  for (uint32_t i = 0; i < 2; ++i) {
    if ((trunFlags & 0x100) != 0) w.u32(10 + i);
    if ((trunFlags & 0x200) != 0) w.u32(20 + i);
    if ((trunFlags & 0x400) != 0) w.u32(0x10000 * i);
    if ((trunFlags & 0x800) != 0) w.u32(static_cast<uint32_t>(-5 + static_cast<int>(i)));
  }
  w.close().close().close();
  return w.take();
}

TEST(QNVMp4FragmentParserTest, ReadsEveryTrunFlagCombination) {
  for (uint32_t combination = 0; combination < 64; ++combination) {
    // Bits 0 and 1 pick the data offset and first-sample flags, 2 to 5 the
    // four per-sample fields.
    const uint32_t flags = (combination & 1 ? 0x1 : 0) | (combination & 2 ? 0x4 : 0) | ((combination >> 2) << 8);
    for (uint8_t version : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "flags " << std::hex << flags << " version " << int{version});
      QNVMP4MoovAtomProvider provider;
      MemoryStreamingReader reader(moof(3, flags, version));
      ASSERT_EQ(parseNextMoofAtom(provider, reader, 500), kQNVMp4ParseDone);
      const QNVMP4MoofAtom& parsed = provider.moofAtoms.at(0);
      EXPECT_EQ(parsed.offset, 500U);
      EXPECT_EQ(parsed.sequenceNumber, 3U);
      const QNVMP4TrunAtom& trun = parsed.trafAtoms.at(0).trunAtoms.at(0);
      EXPECT_EQ(trun.sampleCount, 2U);
      EXPECT_EQ(trun.dataOffset, (flags & 0x1) ? -8 : 0);
      EXPECT_EQ(trun.firstSampleFlags, (flags & 0x4) ? 0x2000000U : 0xFFFFFFFFU);
      if ((flags & 0xF00) == 0) {
        EXPECT_TRUE(trun.samples.empty());
        continue;
      }
      ASSERT_EQ(trun.samples.size(), 2U);
      const QNVMP4TrunSample& second = trun.samples[1];
      EXPECT_EQ(second.duration, (flags & 0x100) ? 11U : 0U);
      EXPECT_EQ(second.size, (flags & 0x200) ? 21U : 0U);
      EXPECT_EQ(second.flags, (flags & 0x400) ? 0x10000U : 0xFFFFFFFFU);
      const int64_t composition = version == 1 ? -4 : int64_t{0xFFFFFFFC};
      EXPECT_EQ(second.compositionTimeOffset, (flags & 0x800) ? composition : 0);
    }
  }
}

TEST(QNVMp4FragmentParserTest, TrackFragmentHeaderAndDecodeTime) {
  QNVMP4MoovAtomProvider provider;
  MemoryStreamingReader reader(concat({moof(1, 0, 0, 1, 0x3B), moof(2, 0, 0, 0, 0)}));
  ASSERT_EQ(parseNextMoofAtom(provider, reader, 0), kQNVMp4ParseDone);
  ASSERT_EQ(parseNextMoofAtom(provider, reader, reader.head()), kQNVMp4ParseDone);
  const QNVMP4TrafAtom& full = provider.moofAtoms.at(0).trafAtoms.at(0);
  EXPECT_EQ(full.baseDataOffset, 0x1'0000'0000ULL);
  EXPECT_EQ(full.sampleDescriptionIndex, 1U);
  EXPECT_EQ(full.defaultSampleDuration, 100U);
  EXPECT_EQ(full.defaultSampleSize, 300U);
  EXPECT_EQ(full.defaultSampleFlags, 0x10000U);
  EXPECT_EQ(full.baseMediaDecodeTime, 0x2'0000'0000ULL);
  const QNVMP4TrafAtom& bare = provider.moofAtoms.at(1).trafAtoms.at(0);
  EXPECT_EQ(bare.defaultSampleFlags, 0xFFFFFFFFU);
  EXPECT_EQ(bare.baseMediaDecodeTime, 9000U) << "version 0 tfdt";
}

TEST(QNVMp4FragmentParserTest, PassesOverMediaDataAndWaitsForAWholeMoof) {
  const Bytes first = moof(1, 0x301);
  const Bytes data = mdat(100);
  const Bytes second = moof(2, 0x301);
  MemoryStreamingReader reader(concat({first, data, second}));
  QNVMP4MoovAtomProvider provider;
  reader.setAvailable(first.size() - 1);
  EXPECT_EQ(parseNextMoofAtom(provider, reader, 1000), kQNVMp4ParseNeedMoreData);
  EXPECT_EQ(reader.head(), 0U);
  reader.setAvailable(first.size() + 8);  // the mdat's header only
  ASSERT_EQ(parseNextMoofAtom(provider, reader, 1000), kQNVMp4ParseDone);
  EXPECT_EQ(reader.head(), first.size());
  EXPECT_EQ(parseNextMoofAtom(provider, reader, 1000 + first.size()), kQNVMp4ParseNeedMoreData);
  EXPECT_EQ(reader.head(), first.size() + data.size()) << "the mdat is passed over before its bytes arrive";
  reader.setAvailable(first.size() + data.size() + second.size());
  ASSERT_EQ(parseNextMoofAtom(provider, reader, 1000 + first.size() + data.size()), kQNVMp4ParseDone);
  ASSERT_EQ(provider.moofAtoms.size(), 2U);
  EXPECT_EQ(provider.moofAtoms[1].offset, 1000 + first.size() + data.size());
  EXPECT_EQ(provider.moofAtoms[1].sequenceNumber, 2U);
}

TEST(QNVMp4FragmentParserTest, MalformedMoofBoxesAreErrors) {
  Bytes hugeCount = moof(1, 0x300);
  // The trun's sample count sits 4 bytes before the end of its two entries.
  const size_t countAt = hugeCount.size() - 2 * 8 - 4;
  hugeCount[countAt] = 0x7F;
  Bytes hugeCountWithoutEntries = moof(1, 0);
  hugeCountWithoutEntries[hugeCountWithoutEntries.size() - 4] = 0x7F;
  Bytes zeroChild = moof(1, 0);
  zeroChild[8 + 3] = 0;  // the mfhd's size
  const Bytes cases[] = {hugeCount, hugeCountWithoutEntries, zeroChild};
  for (size_t i = 0; i < std::size(cases); ++i) {
    QNVMP4MoovAtomProvider provider;
    MemoryStreamingReader reader(cases[i]);
    EXPECT_EQ(parseNextMoofAtom(provider, reader, 0), kQNVMp4ParseError) << i;
    EXPECT_TRUE(provider.moofAtoms.empty()) << i;
  }
}

Bytes sidx(uint8_t version, uint64_t earliest, uint64_t firstOffset, std::vector<std::pair<uint32_t, uint32_t>> refs) {
  Mp4BoxWriter w;
  w.openFull("sidx", version).u32(1).u32(90000);
  if (version == 1) {
    w.u64(earliest).u64(firstOffset);
  } else {
    w.u32(static_cast<uint32_t>(earliest)).u32(static_cast<uint32_t>(firstOffset));
  }
  w.u16(0).u16(static_cast<uint16_t>(refs.size()));
  for (const auto& [size, duration] : refs) w.u32(size).u32(duration).u32(0x90000000);
  w.close();
  return w.take();
}

TEST(QNVMp4FragmentParserTest, SegmentIndexPlacesSegments) {
  const Bytes v0 = sidx(0, 0, 0, {{1000, 3000}, {2000, 3000}});
  ASSERT_EQ(v0.size(), 56U);
  MemoryStreamingReader reader(v0);
  QNVMP4MoovAtomProvider provider;
  ASSERT_EQ(parseSidxAtom(provider, reader, 96), kQNVMp4ParseDone);
  EXPECT_EQ(reader.head(), 0U) << "the head stays at the sidx";
  ASSERT_EQ(provider.sidxAtom.segments.size(), 2U);
  EXPECT_EQ(provider.sidxAtom.timescale, 90000U);
  EXPECT_EQ(provider.sidxAtom.segments[0].offset, 152U);
  EXPECT_EQ(provider.sidxAtom.segments[1].offset, 1152U);
  EXPECT_EQ(provider.sidxAtom.segments[1].startTime, 3000U);

  // Version 1 with 64-bit times and offsets, the reference-type bit dropped,
  // after an mdat that is skipped.
  const Bytes data = mdat(10);
  const Bytes v1 = sidx(1, 0x1'0000'0000ULL, 0x1'0000'0000ULL, {{0x80000010, 5}, {0x20, 7}});
  MemoryStreamingReader wide(concat({data, v1}));
  ASSERT_EQ(parseSidxAtom(provider, wide, 0), kQNVMp4ParseDone);
  EXPECT_EQ(wide.head(), data.size());
  const auto& segments = provider.sidxAtom.segments;
  EXPECT_EQ(segments[0].size, 0x10U);
  EXPECT_EQ(segments[0].offset, data.size() + v1.size() + 0x1'0000'0000ULL);
  EXPECT_EQ(segments[1].offset, segments[0].offset + 0x10);
  EXPECT_EQ(segments[0].startTime, 0x1'0000'0000ULL);
  EXPECT_EQ(segments[1].startTime, 0x1'0000'0005ULL);

  MemoryStreamingReader cut(v0);
  cut.setAvailable(v0.size() - 1);
  EXPECT_EQ(parseSidxAtom(provider, cut, 0), kQNVMp4ParseNeedMoreData);
  Bytes overCount = v0;
  overCount[31] = 3;  // three references in the bytes of two
  MemoryStreamingReader lying(overCount);
  EXPECT_EQ(parseSidxAtom(provider, lying, 0), kQNVMp4ParseError);
}

TEST(QNVMp4FragmentParserTest, SegmentLookups) {
  QNVMP4SidxAtom index;
  index.segments = {{100, 0, 50}, {150, 10, 50}, {200, 20, 50}};
  struct Case {
    uint64_t value;
    size_t byOffset;
    size_t byTime;
  } cases[] = {{0, 0, 0}, {99, 0, 2}, {100, 0, 2}, {149, 0, 2}, {150, 1, 2}, {10, 0, 1}, {19, 0, 1}, {5000, 2, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(sidxSegmentIndexForOffset(c.value, index), c.byOffset) << c.value;
    EXPECT_EQ(sidxSegmentIndexForTime(c.value, index), c.byTime) << c.value;
  }
  EXPECT_EQ(sidxSegmentForTime(15, index).offset, 150U);
  EXPECT_EQ(sidxSegmentForOffset(160, index).startTime, 10U);
  EXPECT_EQ(sidxSegmentIndexForOffset(10, QNVMP4SidxAtom{}), 0U);
  EXPECT_EQ(sidxSegmentForOffset(10, QNVMP4SidxAtom{}).size, 0U);
}

}  // namespace
}  // namespace plexora

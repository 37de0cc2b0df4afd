#include <gtest/gtest.h>

#include "util/qnv/mp4/Mp4MovieFixtures.h"
#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/mp4/QNVMp4Parser.h"

namespace plexora {
namespace {

using testing::Bytes;
using testing::concat;
using testing::MemoryStreamingReader;
using testing::Mp4BoxWriter;
using testing::MovieSpec;
using testing::TrackSpec;

TrackSpec threeSampleTrack() {
  TrackSpec track;
  track.sizes = {10, 20, 30};
  track.stts = {{3, 512}};
  track.stsc = {{1, 3, 1}};
  track.chunkOffsets = {1000};
  return track;
}

Bytes ftypAndFree() {
  Mp4BoxWriter w;
  w.open("ftyp").type("isom").u32(512).type("isom").close();
  w.open("free").zeros(4).close();
  return w.take();
}

TEST(QNVMp4MoovParserTest, FindsTheMoovAfterOtherBoxesOnceItHasAllArrived) {
  MovieSpec movie;
  movie.timescale = 600;
  movie.duration = 1234;
  movie.tracks = {threeSampleTrack()};
  movie.tracks[0].handler = "soun";
  movie.tracks[0].mediaTimescale = 44100;
  const Bytes prefix = ftypAndFree();
  const Bytes moov = moovBox(movie);
  MemoryStreamingReader reader(concat({prefix, moov}));
  QNVMP4MoovAtomProvider provider;

  reader.setAvailable(prefix.size() + moov.size() / 2);
  EXPECT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseNeedMoreData);
  EXPECT_EQ(provider.moovAtomSize, moov.size());
  EXPECT_TRUE(provider.moovAtom.trakAtoms.empty());
  EXPECT_EQ(reader.head(), prefix.size()) << "the boxes before the moov are consumed once";

  reader.setAvailable(prefix.size() + moov.size());
  ASSERT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
  EXPECT_EQ(reader.head(), prefix.size()) << "the head stays at the moov";
  EXPECT_EQ(provider.moovAtom.mvhdAtom.timescale, 600U);
  EXPECT_EQ(provider.moovAtom.mvhdAtom.duration, 1234U);
  ASSERT_EQ(provider.moovAtom.trakAtoms.size(), 1U);
  const QNVMP4TrakAtom& trak = provider.moovAtom.trakAtoms[0];
  EXPECT_EQ(trak.handler(), "soun");
  EXPECT_EQ(trak.mediaTimescale, 44100U);
  EXPECT_EQ(trak.sampleSizes.count(), 3U);
  EXPECT_EQ(trak.sampleSizes.size(2), 30U);
  ASSERT_EQ(trak.chunkOffsets.size(), 1U);
  EXPECT_EQ(trak.chunkOffsets[0], 1000U);
  ASSERT_EQ(trak.timeToSample.size(), 1U);
  EXPECT_EQ(trak.timeToSample[0].sampleDelta, 512U);
  EXPECT_TRUE(trak.editList.empty());
  EXPECT_TRUE(trak.compositionOffsets.empty());
  EXPECT_TRUE(provider.moovAtom.mvexAtom.trexAtoms.empty());
}

TEST(QNVMp4MoovParserTest, ShortOrEmptyStreams) {
  const Bytes zeroSized = {0, 0, 0, 0, 'f', 't', 'y', 'p', 0, 0, 0, 0};
  const Bytes tinySize = {0, 0, 0, 4, 'f', 't', 'y', 'p', 0, 0, 0, 0};
  struct Case {
    const char* name;
    Bytes bytes;
    QNVMp4ParseResult expected;
  } cases[] = {
      {"seven bytes", Bytes(7, 0), kQNVMp4ParseNeedMoreData},
      {"first box of size 0", zeroSized, kQNVMp4ParseError},
      {"box smaller than its header", tinySize, kQNVMp4ParseError},
      {"only other boxes", ftypAndFree(), kQNVMp4ParseNeedMoreData},
  };
  for (const auto& c : cases) {
    MemoryStreamingReader reader(c.bytes);
    QNVMP4MoovAtomProvider provider;
    EXPECT_EQ(parseMoovAtom(provider, reader), c.expected) << c.name;
  }
}

// A child too small to be a box (a 'free' of size 3, as some muxers leave)
// ends its parent's children, as other readers take it: what came before
// it is kept and the file still parses. Size 0 stays malformed.
TEST(QNVMp4MoovParserTest, AChildTooSmallToBeABoxEndsItsParent) {
  MovieSpec movie;
  movie.timescale = 600;
  movie.tracks = {threeSampleTrack()};
  for (const uint8_t size : {3, 0}) {
    SCOPED_TRACE(int{size});
    Bytes moov = testing::moovBox(movie);
    const Bytes tiny = {0, 0, 0, size, 'f', 'r', 'e', 'e'};
    moov.insert(moov.end(), tiny.begin(), tiny.end());
    const uint32_t grown = ((uint32_t{moov[0]} << 24) | (uint32_t{moov[1]} << 16) | (uint32_t{moov[2]} << 8) |
                            moov[3]) + static_cast<uint32_t>(tiny.size());
    for (int i = 0; i < 4; ++i) moov[static_cast<size_t>(i)] = static_cast<uint8_t>(grown >> (24 - 8 * i));
    MemoryStreamingReader reader(moov);
    QNVMP4MoovAtomProvider provider;
    const QNVMp4ParseResult result = parseMoovAtom(provider, reader);
    if (size == 0) {
      EXPECT_EQ(result, kQNVMp4ParseError);
      continue;
    }
    ASSERT_EQ(result, kQNVMp4ParseDone);
    ASSERT_EQ(provider.moovAtom.trakAtoms.size(), 1U);
    EXPECT_EQ(provider.moovAtom.trakAtoms[0].sampleSizes.count(), 3U);
  }
}

TEST(QNVMp4MoovParserTest, ReadsVersionOneHeadersLargeSizesAndWideChunkOffsets) {
  MovieSpec movie;
  movie.mvhdVersion = 1;
  movie.duration = 0x1'0000'0001ULL;
  movie.largeMoov = true;
  TrackSpec track = threeSampleTrack();
  track.mdhdVersion = 1;
  track.mediaTimescale = 90000;
  track.co64 = true;
  track.chunkOffsets = {0x1'2345'6789ULL};
  track.elstVersion = 1;
  track.edits = {{0x2'0000'0000ULL, 0x1'0000'0000LL}, {100, -1}};
  movie.tracks = {track};
  // A top-level box with a 64-bit size before the moov is skipped whole.
  Mp4BoxWriter skipped;
  skipped.open("free", true).zeros(5).close();
  MemoryStreamingReader reader(concat({skipped.take(), moovBox(movie)}));
  QNVMP4MoovAtomProvider provider;

  ASSERT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
  EXPECT_EQ(provider.moovAtom.mvhdAtom.duration, 0x1'0000'0001ULL);
  const QNVMP4TrakAtom& trak = provider.moovAtom.trakAtoms.at(0);
  EXPECT_EQ(trak.mediaTimescale, 90000U);
  EXPECT_EQ(trak.chunkOffsets.at(0), 0x1'2345'6789ULL);
  ASSERT_EQ(trak.editList.size(), 2U);
  EXPECT_EQ(trak.editList[0].segmentDuration, 0x2'0000'0000ULL);
  EXPECT_EQ(trak.editList[0].mediaTime, 0x1'0000'0000LL);
  EXPECT_EQ(trak.editList[1].mediaTime, -1);
}

TEST(QNVMp4MoovParserTest, ReadsMovieExtendsBeforeOrAfterTheTracks) {
  for (bool after : {false, true}) {
    MovieSpec movie;
    movie.tracks = {threeSampleTrack(), threeSampleTrack()};
    movie.trexTrackIds = {1, 2};
    movie.mvexAfterTracks = after;
    MemoryStreamingReader reader(moovBox(movie));
    QNVMP4MoovAtomProvider provider;
    ASSERT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
    const auto& mvex = provider.moovAtom.mvexAtom;
    ASSERT_EQ(mvex.trexAtoms.size(), 2U) << "mvex after the tracks: " << after;
    EXPECT_EQ(mvex.trexAtoms[1].trackId, 2U);
    EXPECT_EQ(mvex.trexAtoms[1].defaultSampleDuration, 512U);
    EXPECT_EQ(mvex.trexAtoms[1].defaultSampleFlags, 0x10000U);
    EXPECT_EQ(mvex.mehdAtom.duration, 5000);
    EXPECT_EQ(provider.moovAtom.trakAtoms.size(), 2U);
  }
}

TEST(QNVMp4MoovParserTest, ConstantSampleSizeIsNotExpanded) {
  MovieSpec movie;
  TrackSpec track = threeSampleTrack();
  track.constantSize = 7;
  track.constantCount = 4;
  movie.tracks = {track};
  MemoryStreamingReader reader(moovBox(movie));
  QNVMP4MoovAtomProvider provider;
  ASSERT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
  const auto& sizes = provider.moovAtom.trakAtoms.at(0).sampleSizes;
  EXPECT_EQ(sizes.count(), 4U);
  EXPECT_EQ(sizes.size(3), 7U);
  EXPECT_TRUE(sizes.sizes.empty());
}

TEST(QNVMp4MoovParserTest, KeepsUuidBoxesOfATrack) {
  Mp4BoxWriter trak;
  trak.open("trak").open("uuid");
  for (uint8_t i = 0; i < 16; ++i) trak.u8(i);
  trak.raw(Bytes{'h', 'i'}).close().close();
  Mp4BoxWriter moov;
  moov.open("moov").raw(trak.take()).close();
  MemoryStreamingReader reader(moov.take());
  QNVMP4MoovAtomProvider provider;
  ASSERT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseDone);
  const auto& uuids = provider.moovAtom.trakAtoms.at(0).uuidAtoms;
  ASSERT_EQ(uuids.size(), 1U);
  EXPECT_EQ(uuids[0].uuid[15], 15);
  EXPECT_EQ(uuids[0].payload, (Bytes{'h', 'i'}));
}

// Moov boxes that lie about their contents: each must end in the error result
// with an empty movie record, quickly and without a large allocation.
Bytes moovAround(const Bytes& content) { return testing::mp4Box("moov", content); }

Bytes trakWithStbl(const Bytes& stblContent) {
  return testing::mp4Box("trak", testing::mp4Box("mdia", testing::mp4Box("minf", testing::mp4Box("stbl", stblContent))));
}

Bytes fullBox(const char* type, std::initializer_list<uint32_t> words) {
  Mp4BoxWriter w;
  w.openFull(type, 0);
  for (uint32_t word : words) w.u32(word);
  w.close();
  return w.take();
}

TEST(QNVMp4MoovParserTest, MalformedMoovBoxesAreErrors) {
  Bytes zeroChild = {0, 0, 0, 0, 'f', 'r', 'e', 'e'};
  Bytes oversizedChild = {0, 0, 0, 100, 'f', 'r', 'e', 'e', 0, 0};
  Bytes nested;
  // mdia inside mdia inside mdia ...: a file that nests to exhaust the stack.
  nested = fullBox("stts", {0});
  for (int i = 0; i < 200; ++i) nested = testing::mp4Box("mdia", nested);
  Mp4BoxWriter largeChild;
  largeChild.open("free", true).close();
  Bytes shortLarge = largeChild.take();
  shortLarge[15] = 8;  // a 64-bit size smaller than its own header

  struct Case {
    const char* name;
    Bytes moov;
  } cases[] = {
      {"child of size 0", moovAround(zeroChild)},
      {"child larger than the moov", moovAround(oversizedChild)},
      {"child with a 64-bit size below 16", moovAround(shortLarge)},
      {"stts counting billions of entries", moovAround(trakWithStbl(fullBox("stts", {0xFFFFFFFF, 1, 1})))},
      {"stsc counting more entries than it holds", moovAround(trakWithStbl(fullBox("stsc", {2, 1, 1, 1})))},
      {"stco counting billions", moovAround(trakWithStbl(fullBox("stco", {0x40000000})))},
      {"stsz with billions of sizes", moovAround(trakWithStbl(fullBox("stsz", {0, 0xFFFFFFFF, 1})))},
      {"stsz with billions of one constant size", moovAround(trakWithStbl(fullBox("stsz", {4, 0xFFFFFFFF})))},
      {"ctts cut short", moovAround(trakWithStbl(fullBox("ctts", {1, 1})))},
      {"truncated mvhd", moovAround(fullBox("mvhd", {0}))},
      {"stsd whose entry overruns it", moovAround(trakWithStbl(fullBox("stsd", {1, 0x1000, 0x61766331})))},
      {"tracks nested without end", moovAround(testing::mp4Box("trak", nested))},
  };
  for (const auto& c : cases) {
    MemoryStreamingReader reader(c.moov);
    QNVMP4MoovAtomProvider provider;
    provider.moovAtom.trakAtoms.resize(1);
    EXPECT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseError) << c.name;
    EXPECT_TRUE(provider.moovAtom.trakAtoms.empty()) << c.name;
  }
}

TEST(QNVMp4MoovParserTest, AMoovLargerThanTheStreamWaitsForBytesWithoutAllocating) {
  Mp4BoxWriter w;
  w.open("moov", true).close();
  Bytes header = w.take();
  header[8] = 0x7F;  // a 64-bit size near 2^63
  MemoryStreamingReader reader(header);
  QNVMP4MoovAtomProvider provider;
  EXPECT_EQ(parseMoovAtom(provider, reader), kQNVMp4ParseNeedMoreData);
  EXPECT_EQ(provider.moovAtomSize, 0x7F00'0000'0000'0010ULL);
}

}  // namespace
}  // namespace plexora

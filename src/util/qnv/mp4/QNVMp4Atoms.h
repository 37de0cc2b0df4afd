// The records the MP4 parser fills from a movie box (moov) and its tracks.
//
// Times and counts are kept as wide as any box version stores them: version 1
// headers carry 64-bit durations and times, co64 64-bit chunk offsets, and a
// version 0 composition offset is unsigned where version 1 is signed.
//
// Thread safety: plain values; copying a record copies its lists.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "util/qnv/mp4/QNVMp4SampleDescription.h"

namespace plexora {

struct QNVMP4MvhdAtom {
  uint32_t timescale = 0;
  uint64_t duration = 0;
};

struct QNVMP4MehdAtom {
  int64_t duration = 0;
};

struct QNVMP4TrexAtom {
  uint32_t trackId = 0;
  uint32_t defaultSampleDescriptionIndex = 0;
  uint32_t defaultSampleDuration = 0;
  uint32_t defaultSampleSize = 0;
  uint32_t defaultSampleFlags = 0;
};

struct QNVMP4MvexAtom {
  QNVMP4MehdAtom mehdAtom;
  std::vector<QNVMP4TrexAtom> trexAtoms;
};

struct QNVMP4SampleToChunkEntry {
  uint32_t firstChunk = 0;  // counts from 1
  uint32_t samplesPerChunk = 0;
  uint32_t sampleDescriptionIndex = 0;
};

struct QNVMP4TimeToSampleEntry {
  uint32_t sampleCount = 0;
  uint32_t sampleDelta = 0;
};

struct QNVMP4CompositionOffsetEntry {
  uint32_t sampleCount = 0;
  int64_t sampleOffset = 0;
};

struct QNVMP4EditListEntry {
  uint64_t segmentDuration = 0;  // movie timescale
  int64_t mediaTime = 0;         // media timescale; -1 marks an empty edit
  int32_t mediaRate = 0;         // 16.16 fixed point
};

struct QNVMP4UuidAtom {
  std::array<uint8_t, 16> uuid{};
  std::vector<uint8_t> payload;
};

// The sample sizes of stsz: either one size shared by every sample or one
// size each. The shared form is not expanded, so a tiny box cannot make the
// parser allocate billions of entries.
struct QNVMP4SampleSizes {
  uint32_t constantSize = 0;
  uint32_t constantCount = 0;
  std::vector<uint32_t> sizes;

  uint32_t count() const { return constantSize != 0 ? constantCount : static_cast<uint32_t>(sizes.size()); }
  uint32_t size(uint32_t index) const { return constantSize != 0 ? constantSize : sizes[index]; }
};

struct QNVMP4TrakAtom {
  QNVMP4SampleSizes sampleSizes;
  std::vector<uint64_t> chunkOffsets;
  std::vector<QNVMP4SampleToChunkEntry> sampleToChunk;
  std::vector<QNVMP4TimeToSampleEntry> timeToSample;
  std::vector<QNVMP4CompositionOffsetEntry> compositionOffsets;
  std::vector<QNVMP4EditListEntry> editList;
  QNVMP4SampleDescription sampleDescription;
  uint32_t mediaTimescale = 0;
  std::vector<uint32_t> syncSamples;  // sample numbers counting from 1
  // Four characters and a terminating zero ("vide", "soun").
  std::array<char, 5> handlerType{};
  std::vector<QNVMP4UuidAtom> uuidAtoms;

  std::string_view handler() const { return handlerType.data(); }
};

struct QNVMP4MoovAtom {
  QNVMP4MvhdAtom mvhdAtom;
  std::vector<QNVMP4TrakAtom> trakAtoms;
  QNVMP4MvexAtom mvexAtom;
};

}  // namespace plexora

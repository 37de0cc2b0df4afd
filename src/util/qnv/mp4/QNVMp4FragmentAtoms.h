// The records of movie fragments (moof) and of the segment index (sidx).
//
// Offsets and decode times are 64-bit wherever a box version can carry them.
// "Absent" values are those the boxes' flags leave out.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <vector>

namespace plexora {

inline constexpr uint32_t kQNVMp4AbsentSampleFlags = 0xFFFFFFFF;

struct QNVMP4TrunSample {
  uint32_t duration = 0;
  uint32_t size = 0;
  uint32_t flags = kQNVMp4AbsentSampleFlags;
  // Signed in version 1 runs, unsigned in version 0.
  int64_t compositionTimeOffset = 0;
};

struct QNVMP4TrunAtom {
  uint32_t sampleCount = 0;
  int32_t dataOffset = 0;
  // Without a data offset a run starts where the one before it ended.
  bool hasDataOffset = false;
  uint32_t firstSampleFlags = kQNVMp4AbsentSampleFlags;
  // Empty when the run carries no per-sample fields.
  std::vector<QNVMP4TrunSample> samples;
};

struct QNVMP4TrafAtom {
  uint32_t trackId = 0;
  uint64_t baseDataOffset = 0;
  uint32_t sampleDescriptionIndex = 0;
  uint32_t defaultSampleDuration = 0;
  uint32_t defaultSampleSize = 0;
  uint32_t defaultSampleFlags = kQNVMp4AbsentSampleFlags;
  uint64_t baseMediaDecodeTime = 0;
  std::vector<QNVMP4TrunAtom> trunAtoms;
};

struct QNVMP4MoofAtom {
  uint64_t offset = 0;  // stream offset of the moof box
  uint32_t sequenceNumber = 0;
  std::vector<QNVMP4TrafAtom> trafAtoms;
};

struct QNVMP4SidxSegment {
  uint64_t offset = 0;     // stream offset of the segment
  uint64_t startTime = 0;  // sidx timescale
  uint32_t size = 0;
};

struct QNVMP4SidxAtom {
  uint32_t timescale = 0;
  std::vector<QNVMP4SidxSegment> segments;
};

}  // namespace plexora

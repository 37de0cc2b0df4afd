// The sample tables of a parsed movie box turned into frame records, and the
// compact copy of them that seeking searches.
//
// Times: a track's decode times count from 0 in its media timescale; its
// presentation times are decode time plus composition offset (never below 0),
// mapped through the edit list. sampleIndexForTime inverts that mapping
// before it searches the decode times.
//
// Thread safety: pure functions over the caller's records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/qnv/mp4/QNVMp4Atoms.h"
#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

struct QNVMP4TrakAtomForSeek {
  std::vector<QNVMP4TimeToSampleEntry> timeToSample;
  std::vector<uint32_t> syncSamples;
  std::vector<QNVMP4EditListEntry> editList;
  uint32_t mediaTimescale = 0;
  uint32_t sampleCount = 0;
};

struct QNVMP4MoovAtomCompressed {
  std::vector<QNVMP4TrakAtomForSeek> trakAtoms;
  QNVMP4MvhdAtom mvhdAtom;
};

// Each edit's duration in the media timescale (truncated; 0 when the movie
// timescale is 0, saturated at the 64-bit maximum).
[[nodiscard]] std::vector<uint64_t> editDurationsInMediaTime(const std::vector<QNVMP4EditListEntry>& editList,
                                                             uint32_t mediaTimescale, uint32_t movieTimescale);

// Adds one record per sample of track `trackIndex` in decode order, then moves
// the store to frame 0. The walk stops when the sizes, sample-to-chunk
// entries, chunk offsets or time-to-sample entries run out; a track index
// past the tracks adds nothing.
void addSamplesOfTrack(QNVMp4FrameMetadataCompressor& store, const QNVMP4MoovAtom& moov, size_t trackIndex);

// The presentation time of a media time. `editDurations` comes from
// editDurationsInMediaTime for the same list.
[[nodiscard]] uint64_t presentationTimeForMediaTime(uint64_t mediaTime,
                                                    const std::vector<QNVMP4EditListEntry>& editList,
                                                    const std::vector<uint64_t>& editDurations);

// The media time shown at a presentation time: the inverse of
// presentationTimeForMediaTime inside the edits; a time inside an empty edit
// maps to where presentation resumes, one past the edits continues from the
// end of the last one.
[[nodiscard]] uint64_t mediaTimeForPresentationTime(uint64_t presentationTime,
                                                    const std::vector<QNVMP4EditListEntry>& editList,
                                                    const std::vector<uint64_t>& editDurations);

// Fills `out` from the movie record; false (and `out` unchanged) for 256
// tracks or more.
[[nodiscard]] bool compressMoovAtom(const QNVMP4MoovAtom& moov, QNVMP4MoovAtomCompressed& out);

// The 0-based index of the sample shown at presentation time `time` (media
// timescale); past the last sample, the last one. With `syncOnly`, the sync
// sample at or before it (0 when none is). A track index past the tracks
// gives 0.
[[nodiscard]] uint32_t sampleIndexForTime(const QNVMP4MoovAtomCompressed& moov, uint64_t time, size_t trackIndex,
                                          bool syncOnly);

}  // namespace plexora

// The frames of one track of a local movie, as a player shows them: the
// samples of the movie box's tables followed by those of every movie
// fragment of the track, in decode order, with their sync flags and their
// presentation times through the track's edit list.
//
// Edits: a media time inside an edit is presented at the edit's place on
// the timeline; one outside every edit (the frames before a clip's first
// edit starts, the encoder's priming) is decoded but not shown, and keeps
// a time counted from the first edit (negative before it), so that decoding
// order and spacing stay as in the file. A last edit without duration runs
// to the end of the media. Without an edit list media time is presentation
// time.
//
// Thread safety: pure functions over the caller's records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/qnv/mp4/QNVMP4MoovAtomProvider.h"
#include "util/qnv/mp4/QNVMp4FrameRecord.h"

namespace plexora {

struct QNVPresentedTime {
  int64_t time = 0;
  bool shown = true;
};

// The presentation of a media time; `editDurations` come from
// editDurationsInMediaTime for the same list.
QNVPresentedTime presentMediaTime(int64_t mediaTime, const std::vector<QNVMP4EditListEntry>& editList,
                                  const std::vector<uint64_t>& editDurations);

struct QNVLocalMp4TrackFrames {
  // Decode order; pts holds the media (unedited) presentation time.
  std::vector<QNVMp4FrameRecord> frames;
  std::vector<bool> sync;
  std::vector<int64_t> presentationTimes;
  std::vector<bool> shown;
};

// Track `trackIndex` of the provider's movie with the fragments of
// provider.moofAtoms whose track fragments name `trackId`.
QNVLocalMp4TrackFrames localMp4TrackFrames(const QNVMP4MoovAtomProvider& provider, size_t trackIndex,
                                           uint32_t trackId);

}  // namespace plexora

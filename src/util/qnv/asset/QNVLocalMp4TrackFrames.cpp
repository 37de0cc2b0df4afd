#include "util/qnv/asset/QNVLocalMp4TrackFrames.h"

#include <algorithm>
#include <limits>
#include <string>

#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"
#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

namespace plexora {

namespace {

__extension__ typedef __int128 Wide;

constexpr const char* kFragmentTag = "localMp4";

int64_t saturated(Wide value) {
  if (value > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (value < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

std::vector<bool> syncFlags(const QNVMP4TrakAtom& trak, size_t count) {
  // Without a sync sample table every sample is a sync sample.
  std::vector<bool> sync(count, trak.syncSamples.empty());
  for (uint32_t number : trak.syncSamples) {
    if (number >= 1 && number <= count) sync[number - 1] = true;
  }
  return sync;
}

}  // namespace

QNVPresentedTime presentMediaTime(int64_t mediaTime, const std::vector<QNVMP4EditListEntry>& editList,
                                  const std::vector<uint64_t>& editDurations) {
  if (editList.empty()) return {mediaTime, true};
  Wide start = 0;
  bool haveFirst = false;
  Wide firstStart = 0;
  Wide firstMediaTime = 0;
  const size_t count = std::min(editList.size(), editDurations.size());
  for (size_t i = 0; i < count; ++i) {
    const QNVMP4EditListEntry& edit = editList[i];
    const Wide duration = editDurations[i];
    if (edit.mediaTime < 0) {
      start += duration;
      continue;
    }
    if (!haveFirst) {
      haveFirst = true;
      firstStart = start;
      firstMediaTime = edit.mediaTime;
    }
    const bool runsToTheEnd = duration == 0 && i + 1 == count;
    if (mediaTime >= edit.mediaTime && (runsToTheEnd || Wide{mediaTime} < Wide{edit.mediaTime} + duration)) {
      return {saturated(start + mediaTime - edit.mediaTime), true};
    }
    start += duration;
  }
  if (!haveFirst) return {mediaTime, false};
  return {saturated(firstStart + mediaTime - firstMediaTime), false};
}

QNVLocalMp4TrackFrames localMp4TrackFrames(const QNVMP4MoovAtomProvider& provider, size_t trackIndex,
                                           uint32_t trackId) {
  QNVLocalMp4TrackFrames result;
  const QNVMP4MoovAtom& moov = provider.moovAtom;
  if (trackIndex >= moov.trakAtoms.size()) return result;
  const QNVMP4TrakAtom& trak = moov.trakAtoms[trackIndex];

  // The tables walked without the edit list: the edits are applied below,
  // where a time outside them can be told apart.
  QNVMP4MoovAtom unedited;
  unedited.mvhdAtom = moov.mvhdAtom;
  unedited.trakAtoms.push_back(trak);
  unedited.trakAtoms.front().editList.clear();
  QNVVodMp4FrameMetadataCompressor store;
  addSamplesOfTrack(store, unedited, 0);
  result.sync = syncFlags(trak, store.frameCount());
  for (const QNVMP4MoofAtom& moof : provider.moofAtoms) {
    for (size_t traf = 0; traf < moof.trafAtoms.size(); ++traf) {
      if (moof.trafAtoms[traf].trackId != trackId) continue;
      decodeMoofAtom(store, provider, moof, traf, kFragmentTag, nullptr, &result.sync);
    }
    // Sequence numbers count the movie's fragments, not a track's: one that
    // carries no run of this track is no gap in it.
    store.setLastSequenceNumber(moof.sequenceNumber);
  }

  const auto editDurations = editDurationsInMediaTime(trak.editList, trak.mediaTimescale, moov.mvhdAtom.timescale);
  result.frames.reserve(store.frameCount());
  for (uint32_t index = 0; index < store.frameCount(); ++index) {
    const QNVMp4FrameRecord frame = store.frameAtIndex(index);
    const QNVPresentedTime presented =
        presentMediaTime(saturated(Wide{frame.pts}), trak.editList, editDurations);
    result.frames.push_back(frame);
    result.presentationTimes.push_back(presented.time);
    result.shown.push_back(presented.shown);
  }
  result.sync.resize(result.frames.size(), false);
  return result;
}

}  // namespace plexora

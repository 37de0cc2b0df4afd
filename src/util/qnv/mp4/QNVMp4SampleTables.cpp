#include "util/qnv/mp4/QNVMp4SampleTables.h"

#include <limits>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kZeroFrameSize = "MP4 video frame size <= 0: size: %d, pts: %llu";
constexpr const char* kTooManyTracks = "Invalid assumption: more than 255 trak atoms";
constexpr size_t kMaxTracks = 255;

__extension__ typedef unsigned __int128 WideUnsigned;

uint64_t saturatingAdd(uint64_t lhs, uint64_t rhs) {
  return rhs > std::numeric_limits<uint64_t>::max() - lhs ? std::numeric_limits<uint64_t>::max() : lhs + rhs;
}

uint64_t saturatingMultiply(uint64_t lhs, uint64_t rhs) {
  if (lhs != 0 && rhs > std::numeric_limits<uint64_t>::max() / lhs) return std::numeric_limits<uint64_t>::max();
  return lhs * rhs;
}

// A cursor over run-length tables (stts, ctts) that passes over runs of zero
// samples, which describe nothing.
template <typename Entry>
class RunCursor {
 public:
  explicit RunCursor(const std::vector<Entry>& entries) : entries_(entries) { skipEmpty(); }

  bool atEnd() const { return index_ >= entries_.size(); }
  const Entry& current() const { return entries_[index_]; }
  void advance() {
    if (++used_ == entries_[index_].sampleCount) {
      used_ = 0;
      ++index_;
      skipEmpty();
    }
  }

 private:
  void skipEmpty() {
    while (index_ < entries_.size() && entries_[index_].sampleCount == 0) ++index_;
  }

  const std::vector<Entry>& entries_;
  size_t index_ = 0;
  uint32_t used_ = 0;
};

}  // namespace

std::vector<uint64_t> editDurationsInMediaTime(const std::vector<QNVMP4EditListEntry>& editList,
                                               uint32_t mediaTimescale, uint32_t movieTimescale) {
  std::vector<uint64_t> durations;
  durations.reserve(editList.size());
  for (const auto& edit : editList) {
    if (movieTimescale == 0) {
      durations.push_back(0);
      continue;
    }
    const auto scaled = static_cast<WideUnsigned>(edit.segmentDuration) * mediaTimescale / movieTimescale;
    durations.push_back(scaled > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max()
                                                                      : static_cast<uint64_t>(scaled));
  }
  return durations;
}

uint64_t presentationTimeForMediaTime(uint64_t mediaTime, const std::vector<QNVMP4EditListEntry>& editList,
                                      const std::vector<uint64_t>& editDurations) {
  uint64_t sum = 0;
  bool passedEdit = false;
  for (size_t i = 0; i < editList.size() && i < editDurations.size(); ++i) {
    const int64_t start = editList[i].mediaTime;
    const uint64_t duration = editDurations[i];
    if ((start >= 0 && static_cast<uint64_t>(start) > mediaTime) || duration == 0) break;
    if (start >= 0 && saturatingAdd(static_cast<uint64_t>(start), duration) > mediaTime) {
      return saturatingAdd(sum, mediaTime - static_cast<uint64_t>(start));
    }
    sum = saturatingAdd(sum, duration);
    passedEdit = true;
  }
  return passedEdit ? sum : mediaTime;
}

uint64_t mediaTimeForPresentationTime(uint64_t presentationTime, const std::vector<QNVMP4EditListEntry>& editList,
                                      const std::vector<uint64_t>& editDurations) {
  uint64_t sum = 0;
  bool passedMediaEdit = false;
  uint64_t lastMediaEnd = 0;
  for (size_t i = 0; i < editList.size() && i < editDurations.size(); ++i) {
    const int64_t start = editList[i].mediaTime;
    const uint64_t duration = editDurations[i];
    // The forward mapping stops at an edit without duration; so does this.
    if (duration == 0) break;
    const uint64_t end = saturatingAdd(sum, duration);
    if (start < 0) {
      // Nothing of the media is shown during an empty edit: what shows next
      // is the start of the edit that follows.
      if (presentationTime < end) presentationTime = end;
    } else {
      if (presentationTime < end) return saturatingAdd(static_cast<uint64_t>(start), presentationTime - sum);
      passedMediaEdit = true;
      lastMediaEnd = saturatingAdd(static_cast<uint64_t>(start), duration);
    }
    sum = end;
  }
  if (!passedMediaEdit) return presentationTime;
  return saturatingAdd(lastMediaEnd, presentationTime - sum);
}

void addSamplesOfTrack(QNVMp4FrameMetadataCompressor& store, const QNVMP4MoovAtom& moov, size_t trackIndex) {
  if (trackIndex >= moov.trakAtoms.size()) return;
  const QNVMP4TrakAtom& trak = moov.trakAtoms[trackIndex];
  const auto editDurations = editDurationsInMediaTime(trak.editList, trak.mediaTimescale, moov.mvhdAtom.timescale);

  RunCursor<QNVMP4TimeToSampleEntry> timeToSample(trak.timeToSample);
  RunCursor<QNVMP4CompositionOffsetEntry> composition(trak.compositionOffsets);
  const uint32_t sampleCount = trak.sampleSizes.count();
  size_t sampleToChunk = 0;
  size_t chunk = 0;
  uint32_t samplesInChunk = 0;
  uint64_t bytesBeforeInChunk = 0;
  uint64_t dts = 0;

  for (uint32_t sample = 0; sample < sampleCount; ++sample) {
    if (sampleToChunk >= trak.sampleToChunk.size() || chunk >= trak.chunkOffsets.size() || timeToSample.atEnd()) break;
    QNVMp4FrameRecord frame;
    frame.size = trak.sampleSizes.size(sample);
    frame.offset = saturatingAdd(trak.chunkOffsets[chunk], bytesBeforeInChunk);
    frame.duration = timeToSample.current().sampleDelta;
    frame.dts = dts;
    if (frame.size == 0) OV_LOG(kOVAdLogLevelWarn, kZeroFrameSize, 0, static_cast<unsigned long long>(dts));

    uint64_t pts = dts;
    if (!composition.atEnd()) {
      const int64_t offset = composition.current().sampleOffset;
      // A negative offset larger than the decode time shows the frame at 0
      // rather than wrapping to the far end of the timeline.
      pts = offset >= 0 ? saturatingAdd(dts, static_cast<uint64_t>(offset))
                        : (static_cast<uint64_t>(-offset) > dts ? 0 : dts - static_cast<uint64_t>(-offset));
      composition.advance();
    }
    frame.pts = trak.editList.empty() ? pts : presentationTimeForMediaTime(pts, trak.editList, editDurations);
    frame.absoluteDts = dts;
    store.addFrame(frame);

    timeToSample.advance();
    dts = saturatingAdd(dts, frame.duration);
    if (++samplesInChunk == trak.sampleToChunk[sampleToChunk].samplesPerChunk) {
      ++chunk;
      if (sampleToChunk + 1 < trak.sampleToChunk.size() && trak.sampleToChunk[sampleToChunk + 1].firstChunk == chunk + 1) {
        ++sampleToChunk;
      }
      samplesInChunk = 0;
      bytesBeforeInChunk = 0;
    } else {
      bytesBeforeInChunk += frame.size;
    }
  }
  store.seekToFrameIndex(0);
}

bool compressMoovAtom(const QNVMP4MoovAtom& moov, QNVMP4MoovAtomCompressed& out) {
  if (moov.trakAtoms.size() > kMaxTracks) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kTooManyTracks);
    return false;
  }
  out.mvhdAtom = moov.mvhdAtom;
  out.trakAtoms.resize(moov.trakAtoms.size());
  for (size_t i = 0; i < moov.trakAtoms.size(); ++i) {
    const QNVMP4TrakAtom& trak = moov.trakAtoms[i];
    out.trakAtoms[i] = {trak.timeToSample, trak.syncSamples, trak.editList, trak.mediaTimescale,
                        trak.sampleSizes.count()};
  }
  return true;
}

uint32_t sampleIndexForTime(const QNVMP4MoovAtomCompressed& moov, uint64_t time, size_t trackIndex, bool syncOnly) {
  if (trackIndex >= moov.trakAtoms.size()) return 0;
  const QNVMP4TrakAtomForSeek& trak = moov.trakAtoms[trackIndex];
  const auto editDurations = editDurationsInMediaTime(trak.editList, trak.mediaTimescale, moov.mvhdAtom.timescale);
  const uint64_t target = mediaTimeForPresentationTime(time, trak.editList, editDurations);

  uint64_t index = 0;
  uint64_t elapsed = 0;
  for (const auto& entry : trak.timeToSample) {
    const uint64_t span = saturatingMultiply(entry.sampleCount, entry.sampleDelta);
    if (saturatingAdd(elapsed, span) > target) {
      if (entry.sampleDelta != 0) index += (target - elapsed) / entry.sampleDelta;
      break;
    }
    index += entry.sampleCount;
    elapsed = saturatingAdd(elapsed, span);
  }
  if (trak.sampleCount == 0) return 0;
  if (index >= trak.sampleCount) index = trak.sampleCount - 1;
  if (!syncOnly || trak.syncSamples.empty()) return static_cast<uint32_t>(index);

  // Sync samples count from 1; the one at or before the index is the last
  // whose number is at most index + 1.
  uint32_t answer = 0;
  for (uint32_t number : trak.syncSamples) {
    if (number == 0) continue;
    if (number - 1 > index) break;
    answer = number - 1;
  }
  return answer;
}

}  // namespace plexora

#include "util/qnv/mp4/QNVMp4FragmentDecoder.h"

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kIgnoringEmptyMoof = "%s ignoring empty moof atom";
constexpr const char* kAbsoluteDeltaAboveBase = "%s absoluteTimeDelta: %llu > baseDts: %llu";
constexpr const char* kDtsDropped = "%s DTS dropped from %llu (seqNum:%u) to %llu (seqNum:%u)";
constexpr const char* kDiscontinuityWithoutGap =
    "%s found discontinuity of > 1s despite no gap in seqNum. currentSegDts:%llu prevDts:%llu";
constexpr const char* kPriorDtsTooLong = "%s prior DTS was too long. inferredDTS:%llu baseDts:%llu";
constexpr const char* kNoLeadingKeyframe = "%s segment doesn't start with keyframe. is contiguous to last segment: %d";
constexpr const char* kOverlap = "%s found overlap between segments/fragments. currentSegDts:%llu prevDts:%llu";
constexpr const char* kSlightOverlap =
    "%s found slight overlap between segments/fragments. prevSeqNum:%u newSeqNum:%u currentSegDts:%llu prevDts:%llu";
constexpr const char* kExpectedNonZeroDuration = "%s expected non-zero duration";
constexpr const char* kDiscontinuity = "%s found discontinuity. prevSeqNum:%u newSeqNum:%u absoluteTimeDelta:%llu";
constexpr const char* kConsecutiveZeroDurationsDetail =
    "%s consecutive 0-duration frames. prevSeqNum:%u newSeqNum:%u baseDtsFromTraf:%llu";
constexpr const char* kConsecutiveZeroDurations = "%s consecutive 0-duration frames";
constexpr const char* kRunDecoded = "%s seqNum:%u init-%llu newdur-%llu count-%d segment duration: %llu";

constexpr const char* kTagKey = "tag";
constexpr const char* kSeqnumKey = "seqnum";
constexpr const char* kDeltaKey = "delta";

constexpr uint32_t kNonSyncSample = 0x10000;
// A gap between consecutive fragments up to this many timescale units is
// rounding, not a discontinuity.
constexpr uint64_t kTolerableGap = 1000;

using ull = unsigned long long;

class Reporter {
 public:
  Reporter(const std::string& tag, uint32_t sequenceNumber, const QNVMp4FragmentErrorHandler& handler)
      : tag_(tag), sequenceNumber_(sequenceNumber), handler_(handler) {}

  void report(QNVMp4FragmentErrorCode code, const uint64_t* delta) const {
    if (!handler_) return;
    platform::Dictionary details{{kTagKey, platform::Value(tag_)}, {kSeqnumKey, platform::Value(sequenceNumber_)}};
    if (delta != nullptr) details.set(kDeltaKey, platform::Value(*delta));
    handler_(platform::Error(kQNVMp4ParserErrorDomain, code, std::move(details)));
  }

  const char* tag() const { return tag_.c_str(); }

 private:
  const std::string& tag_;
  uint32_t sequenceNumber_;
  const QNVMp4FragmentErrorHandler& handler_;
};

struct Placement {
  uint64_t initialDts = 0;
  bool contiguous = false;
};

bool isSignedNegative(uint32_t flags) { return static_cast<int32_t>(flags) < 0; }

Placement placeContiguous(QNVMp4FrameMetadataCompressor& store, uint64_t baseDts, uint32_t prevSeq, uint32_t newSeq,
                          const Reporter& reporter) {
  const QNVMp4FrameRecord last = store.lastFrame();
  uint64_t timeDelta = last.absoluteDts >= last.dts ? last.absoluteDts - last.dts : 0;
  if (timeDelta > baseDts) {
    const uint64_t delta = timeDelta - baseDts;
    OV_LOG(kOVAdLogLevelWarn, kAbsoluteDeltaAboveBase, reporter.tag(), static_cast<ull>(timeDelta),
           static_cast<ull>(baseDts));
    reporter.report(kQNVMp4FragmentTimeWentBack, &delta);
    timeDelta = 0;
  }
  const uint64_t currentSegDts = baseDts - timeDelta;
  const uint64_t prevDts = last.dts + last.duration;
  if (last.dts > currentSegDts) {
    const uint64_t delta = prevDts - currentSegDts;
    OV_LOG(kOVAdLogLevelWarn, kOverlap, reporter.tag(), static_cast<ull>(currentSegDts), static_cast<ull>(prevDts));
    reporter.report(kQNVMp4FragmentOverlap, &delta);
  } else if (currentSegDts < prevDts) {
    OV_LOG(kOVAdLogLevelVerbose, kSlightOverlap, reporter.tag(), prevSeq, newSeq, static_cast<ull>(currentSegDts),
           static_cast<ull>(prevDts));
  } else if (currentSegDts - prevDts > kTolerableGap) {
    const uint64_t delta = currentSegDts - prevDts;
    OV_LOG(kOVAdLogLevelWarn, kDiscontinuityWithoutGap, reporter.tag(), static_cast<ull>(currentSegDts),
           static_cast<ull>(prevDts));
    reporter.report(kQNVMp4FragmentDiscontinuity, &delta);
  }
  return {currentSegDts, true};
}

// The duration to extend the last frame by when the fragment does not follow
// on: its own, else the latest non-zero one the store knows of.
uint64_t lastDurationOf(QNVMp4FrameMetadataCompressor& store, const QNVMp4FrameRecord& last, const Reporter& reporter) {
  uint64_t duration = last.duration;
  const uint32_t count = store.frameCount();
  if (duration != 0 || count < 2) return duration;
  if (count - store.currentFrameIndex() < 2) {
    duration = store.latestNonZeroDuration();
  } else {
    duration = store.frameAtIndex(count - 2).duration;
  }
  if (duration == 0) OV_LOG(kOVAdLogLevelWarn, kExpectedNonZeroDuration, reporter.tag());
  return duration;
}

Placement placeAfterGap(QNVMp4FrameMetadataCompressor& store, uint64_t baseDts, uint32_t prevSeq, uint32_t newSeq,
                        const Reporter& reporter) {
  const QNVMp4FrameRecord last = store.lastFrame();
  const uint64_t lastDuration = lastDurationOf(store, last, reporter);
  const uint64_t inferredDts = last.absoluteDts + lastDuration;
  Placement placement;
  if (baseDts >= inferredDts) {
    placement.initialDts = last.dts + lastDuration;
  } else if (last.absoluteDts <= baseDts) {
    OV_LOG(kOVAdLogLevelWarn, kPriorDtsTooLong, reporter.tag(), static_cast<ull>(inferredDts), static_cast<ull>(baseDts));
    reporter.report(kQNVMp4FragmentPriorDurationTooLong, nullptr);
    placement.initialDts = last.dts + (inferredDts - baseDts);
  } else {
    OV_LOG(kOVAdLogLevelWarn, kDtsDropped, reporter.tag(), static_cast<ull>(last.absoluteDts), prevSeq,
           static_cast<ull>(baseDts), newSeq);
    reporter.report(kQNVMp4FragmentTimeWentBack, nullptr);
    placement.initialDts = last.dts + lastDuration;
  }
  OV_LOG(kOVAdLogLevelVerbose, kDiscontinuity, reporter.tag(), prevSeq, newSeq, static_cast<ull>(baseDts - inferredDts));
  return placement;
}

const QNVMP4TrexAtom* trexFor(const QNVMP4MoovAtomProvider& provider, uint32_t trackId) {
  for (const auto& trex : provider.moovAtom.mvexAtom.trexAtoms) {
    if (trex.trackId == trackId) return &trex;
  }
  return nullptr;
}

bool anySamples(const QNVMP4MoofAtom& moof) {
  for (const auto& traf : moof.trafAtoms) {
    for (const auto& trun : traf.trunAtoms) {
      if (trun.sampleCount != 0) return true;
    }
  }
  return false;
}

}  // namespace

void decodeMoofAtom(QNVMp4FrameMetadataCompressor& store, const QNVMP4MoovAtomProvider& provider,
                    const QNVMP4MoofAtom& moof, size_t trafIndex, const std::string& tag,
                    const QNVMp4FragmentErrorHandler& errorHandler, std::vector<bool>* syncFlags) {
  if (!anySamples(moof)) {
    OV_LOG(kOVAdLogLevelDebug, kIgnoringEmptyMoof, tag.c_str());
    return;
  }
  if (trafIndex >= moof.trafAtoms.size()) return;
  const QNVMP4TrafAtom& traf = moof.trafAtoms[trafIndex];
  const uint64_t baseDts = traf.baseMediaDecodeTime;
  const uint32_t newSeq = moof.sequenceNumber;
  const uint32_t prevSeq = store.lastSequenceNumber();
  const Reporter reporter(tag, newSeq, errorHandler);

  Placement placement{baseDts, false};
  if (store.frameCount() != 0) {
    placement = newSeq == prevSeq + 1 ? placeContiguous(store, baseDts, prevSeq, newSeq, reporter)
                                      : placeAfterGap(store, baseDts, prevSeq, newSeq, reporter);
  }
  store.setLastSequenceNumber(newSeq);

  const QNVMP4TrexAtom* trex = trexFor(provider, traf.trackId);
  const QNVMP4TrexAtom defaults = trex != nullptr ? *trex : QNVMP4TrexAtom{};
  const uint64_t dataBase = traf.baseDataOffset != 0 ? traf.baseDataOffset : moof.offset;
  bool contiguous = placement.contiguous;
  uint64_t dts = placement.initialDts;
  // Each run's data starts at its own data offset from the base, or where
  // the run before it ended.
  uint64_t runEnd = dataBase;
  uint64_t samplesSoFar = 0;
  bool previousDurationZero = false;

  for (const QNVMP4TrunAtom& trun : traf.trunAtoms) {
    uint64_t offset = trun.hasDataOffset ? dataBase + static_cast<uint64_t>(int64_t{trun.dataOffset}) : runEnd;
    for (uint32_t i = 0; i < trun.sampleCount; ++i) {
      const QNVMP4TrunSample entry = i < trun.samples.size() ? trun.samples[i] : QNVMP4TrunSample{};
      const uint32_t duration = entry.duration != 0               ? entry.duration
                                : traf.defaultSampleDuration != 0 ? traf.defaultSampleDuration
                                                                  : defaults.defaultSampleDuration;
      const uint32_t size = entry.size != 0               ? entry.size
                            : traf.defaultSampleSize != 0 ? traf.defaultSampleSize
                                                          : defaults.defaultSampleSize;
      uint32_t flags = defaults.defaultSampleFlags;
      if (i == 0 && !isSignedNegative(trun.firstSampleFlags)) {
        flags = trun.firstSampleFlags;
      } else if (!isSignedNegative(entry.flags)) {
        flags = entry.flags;
      } else if (!isSignedNegative(traf.defaultSampleFlags)) {
        flags = traf.defaultSampleFlags;
      }

      bool add = true;
      if ((flags & kNonSyncSample) != 0) {
        if (i == 0) {
          OV_LOG(kOVAdLogLevelWarn, kNoLeadingKeyframe, tag.c_str(), contiguous ? 1 : 0);
          reporter.report(kQNVMp4FragmentNoLeadingKeyframe, nullptr);
        }
        add = contiguous;
      } else {
        contiguous = true;
      }

      if (add) {
        QNVMp4FrameRecord frame;
        frame.offset = offset;
        frame.size = size;
        frame.duration = duration;
        frame.dts = dts;
        const int64_t composition = entry.compositionTimeOffset;
        frame.pts = composition >= 0 ? dts + static_cast<uint64_t>(composition)
                                     : (static_cast<uint64_t>(-composition) > dts ? 0 : dts - static_cast<uint64_t>(-composition));
        // Modular: the difference may be "negative", the sum is not.
        frame.absoluteDts = dts + (baseDts - placement.initialDts);
        store.addFrame(frame);
        if (syncFlags != nullptr) syncFlags->push_back((flags & kNonSyncSample) == 0);
      }

      if (samplesSoFar > 0 && duration == 0 && previousDurationZero) {
        OV_LOG(kOVAdLogLevelDebug, kConsecutiveZeroDurationsDetail, tag.c_str(), prevSeq, newSeq,
               static_cast<ull>(baseDts));
        OV_LOG(kOVAdLogLevelWarn, kConsecutiveZeroDurations, tag.c_str());
      }
      previousDurationZero = duration == 0;
      dts += duration;
      offset += size;
      ++samplesSoFar;
    }
    runEnd = offset;
    OV_LOG(kOVAdLogLevelVerbose, kRunDecoded, tag.c_str(), newSeq, static_cast<ull>(placement.initialDts),
           static_cast<ull>(dts), static_cast<int>(samplesSoFar), static_cast<ull>(dts - placement.initialDts));
  }
}

}  // namespace plexora

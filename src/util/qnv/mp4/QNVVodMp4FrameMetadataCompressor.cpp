#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

#include <algorithm>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kNextBeyondSize = "Next() called beyond size. This will cause A/V sync issues";
constexpr const char* kDeltaOutOfBounds = "Frame index out of bounds for deltas";
constexpr const char* kNegativeUpperBound = "Invalid delta frame index upper bound: negative uint";
constexpr const char* kBadStartingDeltaIndex = "Invalid indexLastFrame: bad starting deltaIndex";
constexpr const char* kUpperBoundBeyondDeltas = "Invalid delta frame index upper bound: greater than deltas size";
constexpr const char* kBadDeltaIndexUpperBound = "Invalid indexLastFrame: bad deltaIndex upper bound";
constexpr const char* kIndexLastFrameBeyondDeltas = "Invalid indexLastFrame: greater than deltas size";
constexpr const char* kInvalidFrameIndex = "Invalid frameIndex or keyFrameIndex";
constexpr const char* kFrameIndexMismatch = "Frame/frameIndex mismatch";
constexpr const char* kKeyframeIndexMismatch = "Frame/keyframeIndex mismatch";
constexpr const char* kNoFramesForOffset = "frameForOffset called with no frames, returning empty frame";
constexpr const char* kReadBeforeAnyFrame = "Frame read before any frames added";
constexpr const char* kReadBeyondFrames = "Frame read beyond available frames. This may cause A/V sync issues";
constexpr const char* kFrameIndexBeyondBound = "Frame index beyond its upper bound";
constexpr const char* kLatestNonZeroDurationUnsupported = "latestNonZeroDuration unsupported & unexpected for vod";

constexpr uint64_t kMaxStep = 65535;
constexpr int64_t kMinTimeStep = -32767;
constexpr int64_t kMaxTimeStep = 32766;
// Random access applies at most this many deltas after a binary search.
constexpr uint32_t kMaxDeltasPerRun = 100;

void warn(const char* text) { OV_LOG(kOVAdLogLevelWarn, "%s", text); }

}  // namespace

QNVMp4FrameRecord QNVVodMp4FrameMetadataCompressor::rebuild(const KeyframeEntry& entry) {
  return {entry.offset, entry.size, entry.duration, entry.dts, entry.pts, entry.dts + entry.absoluteDtsDelta};
}

void QNVVodMp4FrameMetadataCompressor::apply(const DeltaEntry& delta, QNVMp4FrameRecord& record) {
  const auto dtsStep = static_cast<uint64_t>(int64_t{delta.dtsStep});
  record = {record.offset + delta.offsetStep, delta.size,
            record.duration,                  record.dts + dtsStep,
            record.pts + static_cast<uint64_t>(int64_t{delta.ptsStep}), record.absoluteDts + dtsStep};
}

uint32_t QNVVodMp4FrameMetadataCompressor::firstDeltaOfRun(size_t run) const {
  if (run == 0) return 0;
  // Every frame before the run but one per earlier run is a delta.
  return keyframes_[run - 1].indexLastFrame + 1 - static_cast<uint32_t>(run);
}

void QNVVodMp4FrameMetadataCompressor::reset() {
  keyframeIndex_ = 0;
  frameIndex_ = 0;
  frameCount_ = 0;
  largestOffset_ = 0;
  sequenceNumber_ = 0;
  current_ = {};
  keyframes_.clear();
  deltas_.clear();
}

void QNVVodMp4FrameMetadataCompressor::addFrame(const QNVMp4FrameRecord& frame) {
  logAnomaliesOfAddedFrame(frameCount_ == 0 ? nullptr : &last_, frame);
  const bool caughtUp = frameIndex_ >= frameCount_ || keyframeIndex_ >= keyframes_.size();
  ++frameCount_;
  largestOffset_ = frame.offset + frame.size;
  const uint64_t absoluteDelta = frame.absoluteDts - frame.dts;

  if (frameCount_ == 1) {
    current_ = first_ = last_ = frame;
    keyframes_.push_back({frame.offset, frame.dts, frame.pts, frame.size, frame.duration, absoluteDelta, 0});
    keyframeIndex_ = 0;
    frameIndex_ = 0;
    return;
  }

  KeyframeEntry& run = keyframes_.back();
  const uint32_t runStart = keyframes_.size() == 1 ? 0 : keyframes_[keyframes_.size() - 2].indexLastFrame;
  const uint64_t offsetStep = frame.offset - last_.offset;
  const auto dtsStep = static_cast<int64_t>(frame.dts - last_.dts);
  const auto ptsStep = static_cast<int64_t>(frame.pts - last_.pts);
  const bool asDelta = offsetStep < kMaxStep && dtsStep >= kMinTimeStep && dtsStep <= kMaxTimeStep &&
                       ptsStep >= kMinTimeStep && ptsStep <= kMaxTimeStep && frame.size < kMaxStep &&
                       frame.duration == run.duration && absoluteDelta == run.absoluteDtsDelta && !caughtUp &&
                       run.indexLastFrame - runStart < kMaxDeltasPerRun;
  if (asDelta) {
    ++run.indexLastFrame;
    deltas_.push_back({static_cast<uint16_t>(offsetStep), static_cast<int16_t>(dtsStep), static_cast<int16_t>(ptsStep),
                       static_cast<uint16_t>(frame.size)});
  } else {
    keyframes_.push_back({frame.offset, frame.dts, frame.pts, frame.size, frame.duration, absoluteDelta,
                          run.indexLastFrame + 1});
  }
  last_ = frame;

  if (caughtUp) {
    current_ = frame;
    if (frameIndex_ != frameCount_ - 1) warn(kFrameIndexMismatch);
    if (keyframeIndex_ != keyframes_.size() - 1) warn(kKeyframeIndexMismatch);
  }
}

bool QNVVodMp4FrameMetadataCompressor::Next() {
  if (keyframeIndex_ >= keyframes_.size() || frameIndex_ >= frameCount_) {
    warn(kNextBeyondSize);
    return false;
  }
  if (frameIndex_ != keyframes_[keyframeIndex_].indexLastFrame) {
    const uint32_t delta = frameIndex_ - keyframeIndex_;
    if (delta >= deltas_.size()) {
      warn(kDeltaOutOfBounds);
      return false;
    }
    apply(deltas_[delta], current_);
    ++frameIndex_;
    return true;
  }
  ++keyframeIndex_;
  ++frameIndex_;
  if (keyframeIndex_ >= keyframes_.size()) return false;
  current_ = rebuild(keyframes_[keyframeIndex_]);
  return true;
}

bool QNVVodMp4FrameMetadataCompressor::find(uint32_t index, QNVMp4FrameRecord& out, size_t& run) const {
  if (index >= frameCount_ || keyframes_.empty()) return false;
  const auto found = std::lower_bound(keyframes_.begin(), keyframes_.end(), index,
                                      [](const KeyframeEntry& entry, uint32_t i) { return entry.indexLastFrame < i; });
  if (found == keyframes_.end()) return false;
  run = static_cast<size_t>(found - keyframes_.begin());
  if (run > index) {
    warn(kNegativeUpperBound);
    return false;
  }
  if (run > 0 && run - 1 > keyframes_[run - 1].indexLastFrame) {
    warn(kBadStartingDeltaIndex);
    return false;
  }
  // Frame `index` is the keyframe entry's frame plus the deltas of the run up
  // to delta index - run.
  const uint32_t end = index - static_cast<uint32_t>(run);
  if (end > deltas_.size()) {
    warn(kUpperBoundBeyondDeltas);
    return false;
  }
  out = rebuild(*found);
  for (uint32_t delta = firstDeltaOfRun(run); delta < end; ++delta) apply(deltas_[delta], out);
  return true;
}

bool QNVVodMp4FrameMetadataCompressor::seekToFrameIndex(uint32_t index) {
  QNVMp4FrameRecord record;
  size_t run = 0;
  if (!find(index, record, run)) {
    warn(kInvalidFrameIndex);
    return false;
  }
  current_ = record;
  keyframeIndex_ = static_cast<uint32_t>(run);
  frameIndex_ = index;
  return true;
}

QNVMp4FrameRecord QNVVodMp4FrameMetadataCompressor::frameAtIndex(uint32_t index) {
  QNVMp4FrameRecord record;
  size_t run = 0;
  return find(index, record, run) ? record : QNVMp4FrameRecord{};
}

QNVMp4FrameRecord QNVVodMp4FrameMetadataCompressor::frameForOffset(uint64_t offset) {
  if (frameCount_ == 0) {
    warn(kNoFramesForOffset);
    return {};
  }
  const auto after = std::upper_bound(keyframes_.begin(), keyframes_.end(), offset,
                                      [](uint64_t o, const KeyframeEntry& entry) { return o < entry.offset; });
  const size_t run = after == keyframes_.begin() ? 0 : static_cast<size_t>(after - keyframes_.begin()) - 1;
  QNVMp4FrameRecord record = rebuild(keyframes_[run]);
  const uint32_t first = firstDeltaOfRun(run);
  const uint32_t runStart = run == 0 ? 0 : keyframes_[run - 1].indexLastFrame + 1;
  if (keyframes_[run].indexLastFrame < runStart) {
    warn(kBadDeltaIndexUpperBound);
    return record;
  }
  const uint32_t end = first + (keyframes_[run].indexLastFrame - runStart);
  if (end > deltas_.size()) {
    warn(kIndexLastFrameBeyondDeltas);
    return record;
  }
  for (uint32_t delta = first; delta < end && record.offset + deltas_[delta].offsetStep <= offset; ++delta) {
    apply(deltas_[delta], record);
  }
  return record;
}

QNVMp4FrameRecord QNVVodMp4FrameMetadataCompressor::currentFrame() {
  if (frameCount_ == 0) {
    warn(kReadBeforeAnyFrame);
  } else if (frameIndex_ >= frameCount_) {
    warn(kReadBeyondFrames);
  }
  return current_;
}

uint32_t QNVVodMp4FrameMetadataCompressor::currentFrameIndex() const {
  if (frameIndex_ > frameCount_) warn(kFrameIndexBeyondBound);
  return frameIndex_;
}

uint32_t QNVVodMp4FrameMetadataCompressor::latestNonZeroDuration() const {
  warn(kLatestNonZeroDurationUnsupported);
  return 0;
}

}  // namespace plexora

#include "util/qnv/mp4/QNVLiveMp4FrameMetadataCompressor.h"

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kSeekOutOfRange = "seek with uexpected frameIndex param value";
constexpr const char* kReadBeforeAnyFrame = "Frame read before any frames added";
constexpr const char* kFirstBeforeAnyFrame = "First frame read before any frames added";
constexpr const char* kLastBeforeAnyFrame = "Last frame read before any frames added";
constexpr const char* kIndexOutOfRange = "frameForIndex called with out of range index, returning empty frame";
constexpr const char* kOffsetOutOfRange = "frameForOffset called with out of range offset, returning empty frame";
constexpr const char* kNextBeyondSize = "Next() called beyond size. This will cause A/V sync issues";
constexpr const char* kIndexesCorrupted = "_frameIndex, _framePopCount corrupted";

void warn(const char* text) { OV_LOG(kOVAdLogLevelWarn, "%s", text); }

}  // namespace

void QNVLiveMp4FrameMetadataCompressor::reset() {
  frameIndex_ = 0;
  popCount_ = 0;
  frameCount_ = 0;
  largestOffset_ = 0;
  sequenceNumber_ = 0;
  smallestPts_ = kNoPts;
  largestPts_ = kNoPts;
  latestNonZeroDuration_ = 0;
  queue_.clear();
}

void QNVLiveMp4FrameMetadataCompressor::addFrame(const QNVMp4FrameRecord& frame) {
  logAnomaliesOfAddedFrame(frameCount_ == 0 ? nullptr : &last_, frame);
  if (frameCount_ == 0) first_ = frame;
  const bool readerAtEnd = isAtEnd();
  queue_.push_back(frame);
  last_ = frame;
  if (readerAtEnd) current_ = frame;
  anyFrameAdded_ = true;
  ++frameCount_;
  largestOffset_ = frame.offset + frame.size;
  if (smallestPts_ == kNoPts || frame.pts < smallestPts_) smallestPts_ = frame.pts;
  if (largestPts_ == kNoPts || frame.pts > largestPts_) largestPts_ = frame.pts;
  if (frame.duration != 0) latestNonZeroDuration_ = frame.duration;
}

bool QNVLiveMp4FrameMetadataCompressor::Next() {
  if (isAtEnd()) {
    warn(kNextBeyondSize);
    return false;
  }
  if (popCount_ > frameIndex_ || frameIndex_ - popCount_ >= queue_.size()) {
    warn(kIndexesCorrupted);
    return false;
  }
  ++frameIndex_;
  if (isAtEnd()) return false;
  current_ = queue_[frameIndex_ - popCount_];
  while (popCount_ < frameIndex_) {
    queue_.pop_front();
    ++popCount_;
  }
  return true;
}

bool QNVLiveMp4FrameMetadataCompressor::seekToFrameIndex(uint32_t index) {
  if (index < popCount_ || index >= frameCount_) {
    warn(kSeekOutOfRange);
    return false;
  }
  frameIndex_ = index;
  current_ = queue_[index - popCount_];
  return true;
}

QNVMp4FrameRecord QNVLiveMp4FrameMetadataCompressor::currentFrame() {
  if (!anyFrameAdded_) warn(kReadBeforeAnyFrame);
  return current_;
}

QNVMp4FrameRecord QNVLiveMp4FrameMetadataCompressor::firstFrame() const {
  if (!anyFrameAdded_) warn(kFirstBeforeAnyFrame);
  return first_;
}

QNVMp4FrameRecord QNVLiveMp4FrameMetadataCompressor::lastFrame() const {
  if (!anyFrameAdded_) warn(kLastBeforeAnyFrame);
  return last_;
}

QNVMp4FrameRecord QNVLiveMp4FrameMetadataCompressor::frameAtIndex(uint32_t index) {
  if (index < popCount_ || index >= frameCount_) {
    warn(kIndexOutOfRange);
    return {};
  }
  return queue_[index - popCount_];
}

QNVMp4FrameRecord QNVLiveMp4FrameMetadataCompressor::frameForOffset(uint64_t offset) {
  if (queue_.empty()) {
    warn(kOffsetOutOfRange);
    return {};
  }
  for (size_t i = 1; i < queue_.size(); ++i) {
    if (queue_[i].offset > offset) return queue_[i - 1];
  }
  return queue_.back();
}

}  // namespace plexora

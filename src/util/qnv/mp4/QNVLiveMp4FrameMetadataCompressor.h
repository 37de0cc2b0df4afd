// The frame store of a live stream: only the frames from the read position
// on are kept, each released as soon as the reader moves past it, so a
// stream that never ends does not make the store grow.
//
// Frame indexes count every frame ever added; frames behind the reader can no
// longer be reached.
//
// Thread safety: none; the store lives on its asset's queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

class QNVLiveMp4FrameMetadataCompressor final : public QNVMp4FrameMetadataCompressor {
 public:
  // Empties the store; the current, first and last records stay as they are.
  void reset() override;
  void addFrame(const QNVMp4FrameRecord& frame) override;
  bool Next() override;
  bool seekToFrameIndex(uint32_t index) override;
  QNVMp4FrameRecord currentFrame() override;
  uint32_t currentFrameIndex() const override { return frameIndex_; }
  uint32_t frameCount() const override { return frameCount_; }
  bool isAtEnd() const override { return frameIndex_ >= frameCount_; }
  // Offset + size of the last frame added, in 64 bits like the offsets.
  uint64_t largestOffset() const override { return largestOffset_; }
  QNVMp4FrameRecord firstFrame() const override;
  QNVMp4FrameRecord lastFrame() const override;
  // An empty record for a released frame or one not yet added.
  QNVMp4FrameRecord frameAtIndex(uint32_t index) override;
  QNVMp4FrameRecord frameForOffset(uint64_t offset) override;
  void setLastSequenceNumber(uint32_t sequenceNumber) override { sequenceNumber_ = sequenceNumber; }
  uint32_t lastSequenceNumber() const override { return sequenceNumber_; }
  uint64_t smallestPts() const override { return smallestPts_; }
  uint64_t largestPts() const override { return largestPts_; }
  uint32_t latestNonZeroDuration() const override { return latestNonZeroDuration_; }

  size_t retainedFrameCount() const { return queue_.size(); }

 private:
  static constexpr uint64_t kNoPts = UINT64_MAX;

  QNVMp4FrameRecord current_;
  QNVMp4FrameRecord first_;
  QNVMp4FrameRecord last_;
  uint32_t frameIndex_ = 0;
  uint32_t popCount_ = 0;
  uint32_t frameCount_ = 0;
  uint64_t largestOffset_ = 0;
  uint32_t sequenceNumber_ = 0;
  uint64_t smallestPts_ = kNoPts;
  uint64_t largestPts_ = kNoPts;
  uint32_t latestNonZeroDuration_ = 0;
  bool anyFrameAdded_ = false;
  std::deque<QNVMp4FrameRecord> queue_;
};

}  // namespace plexora

// The frame store of a progressive file: every frame of a track, most of them
// as an 8-byte step from the frame before. A run starts with a full entry
// ("keyframe" entry, unrelated to sync frames) and holds up to a hundred
// frames that share its duration and absolute-time offset and step from each
// other by less than 16 bits in offset, times and size.
//
// A reader waiting at the end (after Next answered false) gets each newly
// added frame as its current record, and such a frame always starts a run so
// that the reader's position stays on a run's entry.
//
// Thread safety: none; the store lives on its asset's queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

class QNVVodMp4FrameMetadataCompressor final : public QNVMp4FrameMetadataCompressor {
 public:
  void reset() override;
  void addFrame(const QNVMp4FrameRecord& frame) override;
  bool Next() override;
  bool seekToFrameIndex(uint32_t index) override;
  QNVMp4FrameRecord currentFrame() override;
  uint32_t currentFrameIndex() const override;
  uint32_t frameCount() const override { return frameCount_; }
  bool isAtEnd() const override { return frameIndex_ >= frameCount_; }
  uint64_t largestOffset() const override { return largestOffset_; }
  QNVMp4FrameRecord firstFrame() const override { return first_; }
  QNVMp4FrameRecord lastFrame() const override { return last_; }
  // An empty record for an index past the frames.
  QNVMp4FrameRecord frameAtIndex(uint32_t index) override;
  // The last frame starting at or before the offset; the first frame for an
  // offset before it; an empty record without frames.
  QNVMp4FrameRecord frameForOffset(uint64_t offset) override;
  void setLastSequenceNumber(uint32_t sequenceNumber) override { sequenceNumber_ = sequenceNumber; }
  uint32_t lastSequenceNumber() const override { return sequenceNumber_; }
  uint64_t smallestPts() const override { return UINT64_MAX; }
  uint64_t largestPts() const override { return UINT64_MAX; }
  // Not kept for a progressive file: 0, with a warning.
  uint32_t latestNonZeroDuration() const override;

  size_t keyframeEntryCount() const { return keyframes_.size(); }
  size_t deltaEntryCount() const { return deltas_.size(); }

 private:
  struct KeyframeEntry {
    uint64_t offset;
    uint64_t dts;
    uint64_t pts;
    uint32_t size;
    uint32_t duration;  // shared by the run
    // absoluteDts - dts, shared by the run; 64 bits so that no absolute time
    // is lost however far the fragments' base times lie from 0.
    uint64_t absoluteDtsDelta;
    uint32_t indexLastFrame;
  };
  struct DeltaEntry {
    uint16_t offsetStep;
    int16_t dtsStep;
    int16_t ptsStep;
    uint16_t size;
  };

  static QNVMp4FrameRecord rebuild(const KeyframeEntry& entry);
  static void apply(const DeltaEntry& delta, QNVMp4FrameRecord& record);
  // Index of the first delta of run k.
  uint32_t firstDeltaOfRun(size_t run) const;
  // Rebuilds frame `index` into `out` and gives its run; false when the index
  // or the tables are inconsistent.
  bool find(uint32_t index, QNVMp4FrameRecord& out, size_t& run) const;

  QNVMp4FrameRecord current_;
  QNVMp4FrameRecord first_;
  QNVMp4FrameRecord last_;
  uint32_t keyframeIndex_ = 0;
  uint32_t frameIndex_ = 0;
  uint32_t frameCount_ = 0;
  uint64_t largestOffset_ = 0;
  uint32_t sequenceNumber_ = 0;
  std::vector<KeyframeEntry> keyframes_;
  std::vector<DeltaEntry> deltas_;
};

}  // namespace plexora

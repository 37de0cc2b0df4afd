// The frame store one track's frame records go into and are read back from
// with a read position: the on-demand store keeps a whole file's records
// compactly, the live store only those at and after the read position.
//
// Thread safety: none; a store lives on its asset's queue.
// Ownership: the asset (or box manager) owns its stores.
#pragma once

#include <cstdint>

#include "util/qnv/mp4/QNVMp4FrameRecord.h"

namespace plexora {

class QNVMp4FrameMetadataCompressor {
 public:
  virtual ~QNVMp4FrameMetadataCompressor() = default;

  // Drops every record and returns the read position to 0.
  virtual void reset() = 0;
  // Appends a record in decode order. A reader waiting at the end sees it as
  // its current record at once.
  virtual void addFrame(const QNVMp4FrameRecord& frame) = 0;
  // Moves the read position to the next frame; false at the end.
  virtual bool Next() = 0;
  // Moves the read position to frame `index`; false when it is not held.
  virtual bool seekToFrameIndex(uint32_t index) = 0;
  virtual QNVMp4FrameRecord currentFrame() = 0;
  virtual uint32_t currentFrameIndex() const = 0;
  virtual uint32_t frameCount() const = 0;
  virtual bool isAtEnd() const = 0;
  // Offset + size of the last frame added.
  virtual uint64_t largestOffset() const = 0;
  virtual QNVMp4FrameRecord firstFrame() const = 0;
  virtual QNVMp4FrameRecord lastFrame() const = 0;
  // The record of frame `index` without moving the read position.
  virtual QNVMp4FrameRecord frameAtIndex(uint32_t index) = 0;
  // The last frame that starts at or before `offset`.
  virtual QNVMp4FrameRecord frameForOffset(uint64_t offset) = 0;
  // The sequence number of the last movie fragment decoded into the store.
  virtual void setLastSequenceNumber(uint32_t sequenceNumber) = 0;
  virtual uint32_t lastSequenceNumber() const = 0;
  // Smallest and largest presentation times added; all ones when none is
  // known.
  virtual uint64_t smallestPts() const = 0;
  virtual uint64_t largestPts() const = 0;
  // The duration of the last frame added whose duration was not 0.
  virtual uint32_t latestNonZeroDuration() const = 0;

 protected:
  // Logs what is odd about a frame being added after `previous` (none for the
  // first frame); the frame is stored all the same.
  static void logAnomaliesOfAddedFrame(const QNVMp4FrameRecord* previous, const QNVMp4FrameRecord& frame) {
    // Gaps beyond this past the previous frame's end are logged.
    constexpr uint64_t kGapTolerance = 500;
    constexpr uint64_t kMaxAbsoluteDelta = 0x7FFFFFFF;
    const bool odd = frame.absoluteDts < frame.dts || frame.absoluteDts - frame.dts > kMaxAbsoluteDelta ||
                     (previous != nullptr && frame.dts - previous->dts > uint64_t{previous->duration} + kGapTolerance);
    if (odd) logAnomalies(previous, frame);
  }

 private:
  static void logAnomalies(const QNVMp4FrameRecord* previous, const QNVMp4FrameRecord& frame);
};

}  // namespace plexora

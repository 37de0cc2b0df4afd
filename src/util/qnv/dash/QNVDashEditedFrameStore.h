// A frame store seen through a track's edit list: frames added through it
// get the presentation times the init segment's edits give them, so a
// fragmented representation lines up with its progressive file. Frames
// before the first edit (an audio encoder's priming) are kept for the
// decoder, at the presentation's start, as times cannot go below it.
// Decode times stay on the media timeline: the fragment decoder places each
// fragment after the stored frames' decode times.
//
// Thread safety: none; used for the length of one fragment's decode on the
// asset's queue.
// Ownership: borrows the store and the edit list; both outlive it.
#pragma once

#include <cstdint>
#include <vector>

#include "util/qnv/mp4/QNVMp4Atoms.h"
#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

class QNVDashEditedFrameStore final : public QNVMp4FrameMetadataCompressor {
 public:
  QNVDashEditedFrameStore(QNVMp4FrameMetadataCompressor& store, const QNVMP4TrakAtom& trak, uint32_t movieTimescale);

  void reset() override { store_.reset(); }
  void addFrame(const QNVMp4FrameRecord& frame) override;
  bool Next() override { return store_.Next(); }
  bool seekToFrameIndex(uint32_t index) override { return store_.seekToFrameIndex(index); }
  QNVMp4FrameRecord currentFrame() override { return store_.currentFrame(); }
  uint32_t currentFrameIndex() const override { return store_.currentFrameIndex(); }
  uint32_t frameCount() const override { return store_.frameCount(); }
  bool isAtEnd() const override { return store_.isAtEnd(); }
  uint64_t largestOffset() const override { return store_.largestOffset(); }
  QNVMp4FrameRecord firstFrame() const override { return store_.firstFrame(); }
  QNVMp4FrameRecord lastFrame() const override { return store_.lastFrame(); }
  QNVMp4FrameRecord frameAtIndex(uint32_t index) override { return store_.frameAtIndex(index); }
  QNVMp4FrameRecord frameForOffset(uint64_t offset) override { return store_.frameForOffset(offset); }
  void setLastSequenceNumber(uint32_t sequenceNumber) override { store_.setLastSequenceNumber(sequenceNumber); }
  uint32_t lastSequenceNumber() const override { return store_.lastSequenceNumber(); }
  uint64_t smallestPts() const override { return store_.smallestPts(); }
  uint64_t largestPts() const override { return store_.largestPts(); }
  uint32_t latestNonZeroDuration() const override { return store_.latestNonZeroDuration(); }

 private:
  QNVMp4FrameMetadataCompressor& store_;
  const std::vector<QNVMP4EditListEntry>& editList_;
  const std::vector<uint64_t> editDurations_;
};

}  // namespace plexora

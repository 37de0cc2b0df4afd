#include "util/qnv/dash/QNVDashEditedFrameStore.h"

#include <cstdint>

#include "util/qnv/asset/QNVLocalMp4TrackFrames.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora {

QNVDashEditedFrameStore::QNVDashEditedFrameStore(QNVMp4FrameMetadataCompressor& store, const QNVMP4TrakAtom& trak,
                                                 uint32_t movieTimescale)
    : store_(store),
      editList_(trak.editList),
      editDurations_(editDurationsInMediaTime(trak.editList, trak.mediaTimescale, movieTimescale)) {}

void QNVDashEditedFrameStore::addFrame(const QNVMp4FrameRecord& frame) {
  if (editList_.empty() || frame.pts > static_cast<uint64_t>(INT64_MAX)) {
    store_.addFrame(frame);
    return;
  }
  const QNVPresentedTime presented = presentMediaTime(static_cast<int64_t>(frame.pts), editList_, editDurations_);
  QNVMp4FrameRecord edited = frame;
  // A frame before the first edit (an encoder's priming) is still fed to
  // the decoder, whose first shown frame depends on it; it is placed at the
  // start of the presentation rather than before it.
  edited.pts = presented.time < 0 ? 0 : static_cast<uint64_t>(presented.time);
  store_.addFrame(edited);
}

}  // namespace plexora

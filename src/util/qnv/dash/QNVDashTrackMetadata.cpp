#include "util/qnv/dash/QNVDashTrackMetadata.h"

namespace plexora {

QNVDashTrackMetadata QNVDashTrackMetadata::segmentBaseMetadata(QNVDashRepresentationFields fields,
                                                               QNVByteRange indexRange,
                                                               QNVByteRange initializationRange) {
  QNVDashTrackMetadata track(std::move(fields));
  track.indexRange_ = indexRange;
  track.initializationRange_ = initializationRange;
  return track;
}

QNVDashTrackMetadata QNVDashTrackMetadata::segmentTemplateMetadata(QNVDashRepresentationFields fields,
                                                                   uint32_t timelineTimescale,
                                                                   std::vector<QNVMpdTimelineEntry> timelineEntries,
                                                                   std::optional<std::string> encodedInitData,
                                                                   std::optional<platform::URL> mpdUrl) {
  QNVDashTrackMetadata track(std::move(fields));
  track.timelineTimescale_ = timelineTimescale;
  track.timelineEntries_ = std::move(timelineEntries);
  track.encodedInitData_ = std::move(encodedInitData);
  track.mpdUrl_ = std::move(mpdUrl);
  return track;
}

}  // namespace plexora

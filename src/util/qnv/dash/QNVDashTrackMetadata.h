// What the manifest parser found about each representation, as immutable
// values: the representation itself (QNVDashTrackMetadata, in one of two
// addressing shapes), one segment of its timeline (QNVMpdTimelineEntry) and
// the few facts quality selection needs (QNVDashRepresentationProperties).
//
// Timeline times are 64-bit: live timelines counted from the epoch pass
// 2^32 units within days.
//
// Thread safety: immutable values, shareable between threads.
// Ownership: plain values; records share nothing with the manifest.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "util/qnv/dash/QNVDashSegmentUrl.h"

namespace plexora {

// A byte range of a file.
struct QNVByteRange {
  uint64_t location = 0;
  uint64_t length = 0;
  bool operator==(const QNVByteRange&) const = default;
};

// The range a representation gives when its shape has none.
inline constexpr QNVByteRange kQNVByteRangeNotGiven{0, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())};

class QNVMpdTimelineEntry {
 public:
  QNVMpdTimelineEntry(uint64_t time, uint64_t duration, std::optional<platform::URL> mediaUrl)
      : time_(time), duration_(duration), mediaUrl_(std::move(mediaUrl)) {}
  QNVMpdTimelineEntry(uint64_t time, uint64_t duration, QNVDashSegmentUrl mediaUrl)
      : time_(time), duration_(duration), mediaUrl_(std::move(mediaUrl)) {}

  // In timeline units.
  uint64_t time() const { return time_; }
  uint64_t duration() const { return duration_; }
  // None when the manifest's text made no URL; built on each call.
  std::optional<platform::URL> mediaUrl() const { return mediaUrl_.url(); }
  // The same, unbuilt, for records that keep it.
  const QNVDashSegmentUrl& mediaAddress() const { return mediaUrl_; }

 private:
  uint64_t time_;
  uint64_t duration_;
  QNVDashSegmentUrl mediaUrl_;
};

// The fields every shape shares.
struct QNVDashRepresentationFields {
  std::string representationId;
  uint32_t width = 0;   // the longer side
  uint32_t height = 0;  // the shorter side
  uint32_t bandwidth = 0;
  std::string qualityLabel;
  std::string mimeType;
  std::string codecs;
  std::optional<platform::URL> initializationUrl;
  std::string projection;
  std::string audioChannelConfiguration;
};

class QNVDashTrackMetadata {
 public:
  // SegmentBase: one file addressed by byte ranges.
  static QNVDashTrackMetadata segmentBaseMetadata(QNVDashRepresentationFields fields, QNVByteRange indexRange,
                                                  QNVByteRange initializationRange);
  // SegmentTemplate: URLs built from a template and a timeline.
  static QNVDashTrackMetadata segmentTemplateMetadata(QNVDashRepresentationFields fields, uint32_t timelineTimescale,
                                                      std::vector<QNVMpdTimelineEntry> timelineEntries,
                                                      std::optional<std::string> encodedInitData,
                                                      std::optional<platform::URL> mpdUrl);

  const std::string& representationId() const { return fields_.representationId; }
  uint32_t width() const { return fields_.width; }
  uint32_t height() const { return fields_.height; }
  uint32_t bandwidth() const { return fields_.bandwidth; }
  const std::string& qualityLabel() const { return fields_.qualityLabel; }
  const std::string& mimeType() const { return fields_.mimeType; }
  const std::string& codecs() const { return fields_.codecs; }
  const std::optional<platform::URL>& initializationUrl() const { return fields_.initializationUrl; }
  const std::string& projection() const { return fields_.projection; }
  const std::string& audioChannelConfiguration() const { return fields_.audioChannelConfiguration; }
  // SegmentTemplate only (possibly empty); none for SegmentBase.
  const std::optional<std::string>& encodedInitData() const { return encodedInitData_; }
  const QNVByteRange& indexRange() const { return indexRange_; }
  const QNVByteRange& initializationRange() const { return initializationRange_; }
  const std::optional<platform::URL>& mpdUrl() const { return mpdUrl_; }
  uint32_t timelineTimescale() const { return timelineTimescale_; }
  // None for SegmentBase; a list, possibly empty, for SegmentTemplate.
  const std::optional<std::vector<QNVMpdTimelineEntry>>& timelineEntries() const { return timelineEntries_; }

 private:
  explicit QNVDashTrackMetadata(QNVDashRepresentationFields fields) : fields_(std::move(fields)) {}

  QNVDashRepresentationFields fields_;
  std::optional<std::string> encodedInitData_;
  QNVByteRange indexRange_ = kQNVByteRangeNotGiven;
  QNVByteRange initializationRange_ = kQNVByteRangeNotGiven;
  std::optional<platform::URL> mpdUrl_;
  uint32_t timelineTimescale_ = 0;
  std::optional<std::vector<QNVMpdTimelineEntry>> timelineEntries_;
};

class QNVDashRepresentationProperties {
 public:
  explicit QNVDashRepresentationProperties(const QNVDashTrackMetadata& track)
      : representationId_(track.representationId()),
        bandwidth_(track.bandwidth()),
        qualityLabel_(track.qualityLabel()),
        width_(track.width()),
        height_(track.height()) {}
  QNVDashRepresentationProperties(std::string representationId, uint32_t bandwidth, std::string qualityLabel,
                                  uint32_t width, uint32_t height)
      : representationId_(std::move(representationId)),
        bandwidth_(bandwidth),
        qualityLabel_(std::move(qualityLabel)),
        width_(width),
        height_(height) {}

  const std::string& representationId() const { return representationId_; }
  uint32_t bandwidth() const { return bandwidth_; }
  const std::string& qualityLabel() const { return qualityLabel_; }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

 private:
  std::string representationId_;
  uint32_t bandwidth_;
  std::string qualityLabel_;
  uint32_t width_;
  uint32_t height_;
};

}  // namespace plexora

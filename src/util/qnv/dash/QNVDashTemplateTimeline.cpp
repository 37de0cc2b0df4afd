#include "util/qnv/dash/QNVDashTemplateTimeline.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "util/qnv/dash/QNVDashManifestText.h"
#include "util/qnv/dash/QNVDashXPath.h"

namespace plexora {
namespace {

constexpr const char* kTimeAttribute = "t";
constexpr const char* kDurationAttribute = "d";
constexpr const char* kMalformedTimeReason = "SegmentTimeline S with a @t that is no decimal integer";
constexpr const char* kMalformedDurationReason = "SegmentTimeline S without a @d that is a decimal integer";
constexpr const char* kTooLateReason = "SegmentTimeline S ending beyond the largest time";
constexpr uint64_t kLargestTime = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

bool hasAttribute(xmlNodePtr element, const char* name) {
  return xmlHasNsProp(element, reinterpret_cast<const xmlChar*>(name), nullptr) != nullptr;
}

}  // namespace

QNVDashTemplateTimeline QNVReadTemplateTimeline(const std::vector<xmlNodePtr>& segments, size_t first,
                                                const std::shared_ptr<const QNVDashSegmentTemplate>& segmentTemplate) {
  QNVDashTemplateTimeline timeline;
  if (first < segments.size()) timeline.entries.reserve(segments.size() - first);
  uint64_t end = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    const xmlNodePtr segment = segments[i];
    std::optional<uint64_t> time = end;
    if (hasAttribute(segment, kTimeAttribute)) time = QNVTimelineValueFromText(QNVAttributeText(segment, kTimeAttribute));
    const std::optional<uint64_t> duration = QNVTimelineValueFromText(QNVAttributeText(segment, kDurationAttribute));
    const char* refusal = !time ? kMalformedTimeReason : !duration ? kMalformedDurationReason : nullptr;
    if (refusal == nullptr && *duration > kLargestTime - *time) refusal = kTooLateReason;
    if (refusal != nullptr) {
      timeline.entries.clear();
      timeline.refusedElement = segment;
      timeline.refusal = refusal;
      return timeline;
    }
    end = *time + *duration;
    if (i >= first) {
      timeline.entries.emplace_back(*time, *duration, QNVDashSegmentUrl(segmentTemplate, std::to_string(*time)));
    }
  }
  return timeline;
}

}  // namespace plexora

// Reads the S elements of a SegmentTemplate's SegmentTimeline into timeline
// entries. An S without @t starts where the one before it ends (its t + d),
// the first at 0; the URL of each segment names that same time. A time or
// duration that is no plain decimal integer refuses the timeline: read as a
// number it would name another time than the URL's digits.
//
// Thread safety: reads the document only; the caller keeps it alive.
// Ownership: the entries share the caller's template.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <vector>

#include "util/qnv/dash/QNVDashSegmentUrl.h"
#include "util/qnv/dash/QNVDashTrackMetadata.h"

namespace plexora {

struct QNVDashTemplateTimeline {
  std::vector<QNVMpdTimelineEntry> entries;
  // Set when the timeline is refused: the S at fault and why.
  xmlNodePtr refusedElement = nullptr;
  const char* refusal = nullptr;
};

// Entries for the segments from index `first` on. Every segment is read,
// those before `first` too, since a later time follows from them.
QNVDashTemplateTimeline QNVReadTemplateTimeline(const std::vector<xmlNodePtr>& segments, size_t first,
                                                const std::shared_ptr<const QNVDashSegmentTemplate>& segmentTemplate);

}  // namespace plexora

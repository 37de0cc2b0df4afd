// Finds, in one walk over a manifest's elements, the structure the reader
// does not read: a SegmentTemplate anywhere but directly inside a
// Representation, a SegmentList anywhere, a second Period, and a
// SegmentTimeline S with a repeat count other than 0. One walk in place of
// a query each, because a live manifest lists tens of thousands of segments
// and each query would visit them all.
//
// Thread safety: reads the document only; the caller keeps it alive.
#pragma once

#include <libxml/tree.h>

namespace plexora {

enum class QNVDashUnreadAddressing {
  kNone,
  kTemplateOutsideRepresentation,
  kSegmentList,
  kSeveralPeriods,
  kSegmentWithRepeatCount,
};

struct QNVDashUnreadFinding {
  QNVDashUnreadAddressing kind = QNVDashUnreadAddressing::kNone;
  // The element found (null for none).
  xmlNodePtr element = nullptr;
};

// The first finding in document order, except that a repeat count is
// answered only when nothing else is found.
[[nodiscard]] QNVDashUnreadFinding QNVFindUnreadAddressing(xmlDocPtr document);

}  // namespace plexora

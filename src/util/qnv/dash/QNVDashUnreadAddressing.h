// Finds, in one walk over a manifest's elements, the segment addressing
// the reader does not read: a SegmentTemplate anywhere but directly inside
// a Representation, and a SegmentTimeline S with a repeat count other than
// 0. One walk in place of a query each, because a live manifest lists tens
// of thousands of segments and each query would visit them all.
//
// Thread safety: reads the document only; the caller keeps it alive.
#pragma once

#include <libxml/tree.h>

namespace plexora {

enum class QNVDashUnreadAddressing {
  kNone,
  kTemplateOutsideRepresentation,
  kSegmentWithRepeatCount,
};

// The first kind found, the template before the repeat count whatever
// their order in the document.
[[nodiscard]] QNVDashUnreadAddressing QNVFindUnreadAddressing(xmlDocPtr document);

}  // namespace plexora

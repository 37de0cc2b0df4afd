// Where an element sits in a manifest, for the messages of refusals: its
// name, its id (or, when it has none, the nearest enclosing element's that
// has one) and its line, as in
//   SegmentTemplate in AdaptationSet id="video", line 12
//
// Thread safety: reads the document only; the caller keeps it alive.
#pragma once

#include <libxml/tree.h>

#include <string>

namespace plexora {

std::string QNVDashManifestPlace(xmlNodePtr element);

// The element's line, 0 when libxml2 does not know it.
long QNVDashManifestLine(xmlNodePtr element);

}  // namespace plexora

// Brings a manifest written in the draft upper-case namespace
// ("urn:mpeg:DASH:schema:MPD:2011") or in no namespace into the DASH
// namespace, so that the reader's queries, all bound to the DASH namespace,
// see its elements instead of an empty document. Elements of any other
// namespace stay where they are.
//
// Thread safety: changes the document; the caller owns it and holds the
// parser's mutex.
#pragma once

#include <libxml/tree.h>

namespace plexora {

inline constexpr const char* kQNVDashDraftNamespace = "urn:mpeg:DASH:schema:MPD:2011";

// False when the root is no MPD element of the DASH namespace, the draft
// namespace or none; the document is then left as it was.
bool QNVAdoptDashNamespace(xmlDocPtr document);

}  // namespace plexora

// A quick scan of XML text for how deeply its elements nest, run before
// libplist reads an XML property list: libplist reads any depth, but frees
// its node tree recursively, so a hostile file nested deeply enough would
// overflow the stack on the way out.
//
// Thread safety: a pure function; call from any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace plexora::platform {

// Whether no element of `xml` is nested more than `limit` levels deep.
// Comments, CDATA sections, processing instructions, declarations and quoted
// attribute values are skipped, so markup inside them does not count.
// Malformed text that the scan cannot follow further counts as within the
// limit: no further element can open inside it.
bool xmlNestingWithin(std::string_view xml, size_t limit);

}  // namespace plexora::platform

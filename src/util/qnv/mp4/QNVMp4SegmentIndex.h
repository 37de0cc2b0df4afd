// Look-ups in a segment index: which segment holds a stream offset or a time.
//
// Each answers the index of the last segment that starts at or before the
// value; 0 when the first starts later or there are no segments.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/qnv/mp4/QNVMp4FragmentAtoms.h"

namespace plexora {

[[nodiscard]] size_t sidxSegmentIndexForOffset(uint64_t offset, const QNVMP4SidxAtom& sidx);
[[nodiscard]] size_t sidxSegmentIndexForTime(uint64_t time, const QNVMP4SidxAtom& sidx);
// The segment at that index; an empty record for an index without segments.
[[nodiscard]] QNVMP4SidxSegment sidxSegmentForOffset(uint64_t offset, const QNVMP4SidxAtom& sidx);
[[nodiscard]] QNVMP4SidxSegment sidxSegmentForTime(uint64_t time, const QNVMP4SidxAtom& sidx);

}  // namespace plexora

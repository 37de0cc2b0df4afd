#include "util/qnv/mp4/QNVMp4SegmentIndex.h"

namespace plexora {

namespace {

template <typename Key>
size_t lastSegmentStartingBy(uint64_t value, const QNVMP4SidxAtom& sidx, Key key) {
  for (size_t i = 0; i < sidx.segments.size(); ++i) {
    if (key(sidx.segments[i]) > value) return i == 0 ? 0 : i - 1;
  }
  return sidx.segments.empty() ? 0 : sidx.segments.size() - 1;
}

QNVMP4SidxSegment segmentAt(size_t index, const QNVMP4SidxAtom& sidx) {
  return index < sidx.segments.size() ? sidx.segments[index] : QNVMP4SidxSegment{};
}

}  // namespace

size_t sidxSegmentIndexForOffset(uint64_t offset, const QNVMP4SidxAtom& sidx) {
  return lastSegmentStartingBy(offset, sidx, [](const QNVMP4SidxSegment& segment) { return segment.offset; });
}

size_t sidxSegmentIndexForTime(uint64_t time, const QNVMP4SidxAtom& sidx) {
  return lastSegmentStartingBy(time, sidx, [](const QNVMP4SidxSegment& segment) { return segment.startTime; });
}

QNVMP4SidxSegment sidxSegmentForOffset(uint64_t offset, const QNVMP4SidxAtom& sidx) {
  return segmentAt(sidxSegmentIndexForOffset(offset, sidx), sidx);
}

QNVMP4SidxSegment sidxSegmentForTime(uint64_t time, const QNVMP4SidxAtom& sidx) {
  return segmentAt(sidxSegmentIndexForTime(time, sidx), sidx);
}

}  // namespace plexora

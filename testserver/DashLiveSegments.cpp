#include "testserver/DashLiveSegments.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace plexora::testserver {
namespace {

constexpr std::string_view kInitName = "/init.mp4";
constexpr std::string_view kSegmentSuffix = ".m4s";
constexpr int kNotFound = 404;

uint64_t readBig(const std::string& bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void writeBig(std::string& bytes, size_t at, size_t width, uint64_t value) {
  for (size_t i = width; i-- > 0;) {
    bytes[at + i] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
}

// Walks the boxes in [begin, end), descending into fragments and track
// fragments, and moves the times found there.
void retime(std::string& bytes, size_t begin, size_t end, uint64_t shift, uint32_t sequenceShift) {
  for (size_t at = begin; at + 8 <= end;) {
    const uint64_t size = readBig(bytes, at, 4);
    if (size < 8 || at + size > end) return;
    const std::string_view type(bytes.data() + at + 4, 4);
    const bool version1 = at + 12 <= end && bytes[at + 8] == 1;
    if (type == "moof" || type == "traf") {
      retime(bytes, at + 8, at + size, shift, sequenceShift);
    } else if (type == "tfdt" && size >= 16) {
      const size_t width = version1 ? 8 : 4;
      if (12 + width <= size) writeBig(bytes, at + 12, width, readBig(bytes, at + 12, width) + shift);
    } else if (type == "mfhd" && size >= 16) {
      writeBig(bytes, at + 12, 4, readBig(bytes, at + 12, 4) + sequenceShift);
    } else if (type == "sidx" && version1 && size >= 32) {
      // Version 1: reference id, timescale, then the 64-bit earliest time.
      writeBig(bytes, at + 20, 8, readBig(bytes, at + 20, 8) + shift);
    }
    at += size;
  }
}

}  // namespace

std::string retimedSegment(const std::string& segment, uint64_t shift, uint32_t sequenceShift) {
  std::string bytes = segment;
  retime(bytes, 0, bytes.size(), shift, sequenceShift);
  return bytes;
}

std::optional<std::string> dashLiveSegment(const DashLiveSource& source, const DashLiveManifestOptions& options,
                                           uint64_t time) {
  if (source.segments.empty()) return std::nullopt;
  const auto start = static_cast<uint64_t>(std::llround(options.availabilityStartTime * options.timescale));
  const auto duration = static_cast<uint64_t>(std::llround(options.segmentSeconds * options.timescale));
  if (time < start || duration == 0 || (time - start) % duration != 0) return std::nullopt;
  const uint64_t number = (time - start) / duration;
  const size_t count = source.segments.size();
  const size_t index = number % count;
  // Source segment k starts at k segments in its own media time; live
  // segment N at `time`.
  const auto mediaDuration =
      static_cast<uint64_t>(std::llround(options.segmentSeconds * source.mediaTimescale));
  const auto liveTime = static_cast<uint64_t>(
      std::llround(static_cast<double>(time) / options.timescale * source.mediaTimescale));
  const uint64_t shift = liveTime - index * mediaDuration;
  const auto sequenceShift = static_cast<uint32_t>(number - index);
  return retimedSegment(*source.segments[index], shift, sequenceShift);
}

AnswerFunction serveDashLiveSegments(DashLiveSource source, DashLiveManifestOptions options) {
  return [source = std::move(source), options = std::move(options)](const RecordedRequest& request) {
    const std::string_view path = request.path;
    if (path.ends_with(kInitName)) return rangeFileAnswer(*source.init, request, {});
    if (path.ends_with(kSegmentSuffix)) {
      const size_t slash = path.rfind('/');
      const std::string_view name = path.substr(slash + 1, path.size() - slash - 1 - kSegmentSuffix.size());
      uint64_t time = 0;
      const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), time);
      if (error == std::errc() && end == name.data() + name.size()) {
        if (const auto segment = dashLiveSegment(source, options, time)) {
          return rangeFileAnswer(*segment, request, {});
        }
      }
    }
    Response missing;
    missing.status = kNotFound;
    return missing;
  };
}

}  // namespace plexora::testserver

// The media of a live DASH presentation for the loopback server, to go with
// DashLiveManifest: the initialization segment and, for any segment time the
// manifest lists, a media segment whose decode times say that time. The
// segments are a short on-demand stream's, played round and round: segment
// N of the live stream is source segment N modulo their count, retimed, as
// a live encoder would have written it.
//
//   server.on("/v1/", serveDashLiveSegments(init, sources, options), Match::Prefix);
//
// The paths are those DashLiveManifest writes: "<id>/init.mp4" and
// "<id>/<time>.m4s", the time in the manifest's timescale since 1970.
//
// Thread safety: the answer function may run on several handler threads at
// once; it reads only its shared bytes and options.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testserver/DashLiveManifest.h"
#include "testserver/RangeFile.h"
#include "testserver/ResponseScript.h"

namespace plexora::testserver {

struct DashLiveSource {
  std::shared_ptr<const std::string> init;
  // Segments of `DashLiveManifestOptions::segmentSeconds` each, in order.
  std::vector<std::shared_ptr<const std::string>> segments;
  // The media timescale of the segments' track (its 'mdhd').
  uint32_t mediaTimescale = 0;
};

// `segment` with every fragment's decode time ('tfdt', and a 64-bit segment
// index's earliest time) moved by `shift` media units and its fragment
// sequence numbers moved by `sequenceShift`.
std::string retimedSegment(const std::string& segment, uint64_t shift, uint32_t sequenceShift);

// The live segment that starts at `time` (in the manifest's timescale since
// 1970), none for a time off the segment grid or before the start.
std::optional<std::string> dashLiveSegment(const DashLiveSource& source, const DashLiveManifestOptions& options,
                                           uint64_t time);

// Serves the source's init at ".../init.mp4" and each live segment at
// ".../<time>.m4s"; 404 for anything else. (A test makes one segment late
// or missing with a one-shot answer queued for its exact path.)
AnswerFunction serveDashLiveSegments(DashLiveSource source, DashLiveManifestOptions options);

}  // namespace plexora::testserver

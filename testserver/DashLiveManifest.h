// A live DASH presentation for the loopback server: a dynamic MPD whose
// SegmentTimeline lists the segments that are complete at the time the
// caller's clock reads, within the time-shift window. Times are counted from
// 1970 in the timeline's units, as live encoders count them, so they pass
// 32 bits.
//
// Thread safety: the answer function may run on several handler threads at
// once; it reads only its options and calls `now`, which must be safe to
// call from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "testserver/ResponseScript.h"

namespace plexora::testserver {

struct DashLiveManifestOptions {
  // Seconds since 1970 when the first segment began.
  double availabilityStartTime = 0;
  double segmentSeconds = 2;
  uint32_t timescale = 1000;
  // How much of the past the manifest lists (timeShiftBufferDepth).
  double timeShiftBufferSeconds = 10;
  double minimumUpdatePeriodSeconds = 1;
  // Video representations by id with their bandwidths, in this order.
  std::vector<std::pair<std::string, uint32_t>> videoRepresentations{{"v1", 500000}};
  bool withAudio = true;
  // Seconds since 1970 at which the presentation ends (the manifest turns
  // static); 0 for never.
  double endTime = 0;
};

// The manifest as it reads at `now` (seconds since 1970).
std::string dashLiveManifest(const DashLiveManifestOptions& options, double now);

// Serves dashLiveManifest at the time `now` answers for each request.
AnswerFunction serveDashLiveManifest(DashLiveManifestOptions options, std::function<double()> now);

}  // namespace plexora::testserver

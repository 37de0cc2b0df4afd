#include "testserver/DashLiveManifest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace plexora::testserver {
namespace {

constexpr const char* kContentType = "application/dash+xml";

std::string isoDate(double secondsSince1970) {
  const auto seconds = static_cast<time_t>(std::floor(secondsSince1970));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "PT%.3fS", value);
  return text;
}

std::string representation(const std::string& id, const std::string& mime, uint32_t bandwidth,
                           const std::string& timeline, uint32_t timescale) {
  const std::string size = mime == "audio/mp4" ? "" : " width=\"640\" height=\"360\"";
  return "<Representation id=\"" + id + "\" mimeType=\"" + mime + "\" codecs=\"avc1.42c01e\" bandwidth=\"" +
         std::to_string(bandwidth) + "\"" + size + " OVQualityLabel=\"" + id + "\"><SegmentTemplate timescale=\"" +
         std::to_string(timescale) + "\" initialization=\"" + id + "/init.mp4\" media=\"" + id +
         "/$Time$.m4s\"><SegmentTimeline>" + timeline + "</SegmentTimeline></SegmentTemplate></Representation>";
}

}  // namespace

std::string dashLiveManifest(const DashLiveManifestOptions& options, double now) {
  const bool ended = options.endTime > 0 && now >= options.endTime;
  const double until = ended ? options.endTime : now;
  const auto complete =
      static_cast<int64_t>(std::floor((until - options.availabilityStartTime) / options.segmentSeconds));
  const auto window = static_cast<int64_t>(std::floor(options.timeShiftBufferSeconds / options.segmentSeconds));
  const int64_t first = std::max<int64_t>(0, complete - window);
  const auto duration = static_cast<uint64_t>(std::llround(options.segmentSeconds * options.timescale));
  const auto start = static_cast<uint64_t>(std::llround(options.availabilityStartTime * options.timescale));
  std::string timeline;
  for (int64_t i = first; i < complete; ++i) {
    timeline += "<S t=\"" + std::to_string(start + duration * static_cast<uint64_t>(i)) + "\" d=\"" +
                std::to_string(duration) + "\"/>";
  }
  std::string video;
  for (const auto& [id, bandwidth] : options.videoRepresentations) {
    video += representation(id, "video/mp4", bandwidth, timeline, options.timescale);
  }
  std::string text = "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"" +
                     std::string(ended ? "static" : "dynamic") + "\" availabilityStartTime=\"" +
                     isoDate(options.availabilityStartTime) + "\" publishTime=\"" + isoDate(now) +
                     "\" minimumUpdatePeriod=\"" + seconds(options.minimumUpdatePeriodSeconds) +
                     "\" timeShiftBufferDepth=\"" + seconds(options.timeShiftBufferSeconds) + "\" publishFrameTime=\"" +
                     std::to_string(static_cast<uint64_t>(std::floor(now * 1000))) + "\"><Period id=\"0\">" +
                     "<AdaptationSet>" + video + "</AdaptationSet>";
  if (options.withAudio) {
    text +=
        "<AdaptationSet>" + representation("a1", "audio/mp4", 64000, timeline, options.timescale) + "</AdaptationSet>";
  }
  return text + "</Period></MPD>\n";
}

AnswerFunction serveDashLiveManifest(DashLiveManifestOptions options, std::function<double()> now) {
  return [options = std::move(options), now = std::move(now)](const RecordedRequest&) {
    Response response = Response::text(200, dashLiveManifest(options, now()));
    response.headers.emplace_back("Content-Type", kContentType);
    return response;
  };
}

}  // namespace plexora::testserver

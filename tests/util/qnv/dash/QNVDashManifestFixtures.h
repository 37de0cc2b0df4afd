// Small hand-written manifests for the DASH tests: an MPD element around
// the given periods' content, and representations in each addressing shape.
#pragma once

#include <string>
#include <vector>

namespace plexora::testing {

inline std::string mpdDocument(const std::string& body, const std::string& mpdAttributes = "") {
  return "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" " + mpdAttributes + "><Period>" + body +
         "</Period></MPD>";
}

inline std::string adaptationSet(const std::string& representations, const std::string& attributes = "") {
  return "<AdaptationSet " + attributes + ">" + representations + "</AdaptationSet>";
}

inline std::string segmentBaseRepresentation(const std::string& id, const std::string& mime, int width, int height,
                                             int bandwidth, const std::string& baseUrl) {
  return "<Representation id=\"" + id + "\" mimeType=\"" + mime + "\" width=\"" + std::to_string(width) +
         "\" height=\"" + std::to_string(height) + "\" bandwidth=\"" + std::to_string(bandwidth) +
         "\" codecs=\"avc1.64001f\" OVQualityLabel=\"" + id + "p\"><BaseURL> " + baseUrl +
         " </BaseURL><SegmentBase indexRange=\"800-999\"><Initialization range=\"0-799\"/></SegmentBase>"
         "</Representation>";
}

// S elements with start times first, first + duration, ... (count of them).
inline std::string timelineOf(uint64_t first, uint64_t duration, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    s += "<S t=\"" + std::to_string(first + duration * static_cast<uint64_t>(i)) + "\" d=\"" +
         std::to_string(duration) + "\"/>";
  }
  return s;
}

inline std::string segmentTemplateRepresentation(const std::string& id, const std::string& mime, int bandwidth,
                                                 const std::string& timeline, const std::string& extra = "",
                                                 const std::string& media = "seg-$Time$.m4s", int timescale = 1000) {
  return "<Representation id=\"" + id + "\" mimeType=\"" + mime + "\" width=\"640\" height=\"360\" bandwidth=\"" +
         std::to_string(bandwidth) + "\">" + extra + "<SegmentTemplate timescale=\"" + std::to_string(timescale) +
         "\" initialization=\"init-" + id + ".mp4\" media=\"" + media + "\"><SegmentTimeline>" + timeline +
         "</SegmentTimeline></SegmentTemplate></Representation>";
}

}  // namespace plexora::testing

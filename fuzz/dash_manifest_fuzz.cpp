// Feeds arbitrary bytes to the DASH manifest reader as a manifest fetched
// from a URL and as an inline one. No input may crash it, hang it or make it
// allocate without bound; a refusal carries an error, and what it reads
// stays within the document: live timelines keep at most the entries asked for,
// widths are never below heights, and byte ranges never run backwards.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "util/qnv/dash/QNVMediaPresentationDescription.h"

using namespace plexora;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "dash_manifest_fuzz: %s\n", what);
  std::abort();
}

void check(const QNVDashTrackMetadata& track, uint32_t fromEnd, bool isDynamic) {
  require(track.width() >= track.height(), "width below height");
  // Only SegmentTemplate records carry inline init data (possibly empty),
  // and only a live presentation's timelines are cut to the last entries: a
  // static one keeps every segment so that the whole of it can be played.
  if (const auto& entries = track.timelineEntries(); isDynamic && entries && track.encodedInitData()) {
    require(entries->size() <= std::max<uint32_t>(fromEnd, 1), "timeline beyond the count");
  }
  require(track.indexRange().length > 0 || track.indexRange().location == 0, "empty range away from zero");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks how many live entries to keep.
  const uint32_t fromEnd = data[0] % 8;
  const std::string_view xml(reinterpret_cast<const char*>(data + 1), size - 1);
  static const std::optional<platform::URL> kMpdUrl = platform::URL::parse("http://h.test/live/manifest.mpd?t=1");
  for (const auto& url : {kMpdUrl, std::optional<platform::URL>()}) {
    std::optional<platform::Error> error;
    const auto mpd =
        QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(xml, url, fromEnd, true, &error);
    require((mpd == nullptr) == error.has_value(), "a refusal without an error, or an error with a result");
    if (!mpd) continue;
    for (const auto& track : mpd->videoTracks()) check(track, fromEnd, mpd->isDynamic());
    for (const auto& track : mpd->audioTracks()) check(track, fromEnd, mpd->isDynamic());
  }
  return 0;
}

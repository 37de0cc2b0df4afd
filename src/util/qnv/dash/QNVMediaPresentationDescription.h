// A DASH manifest (MPD) read into an immutable description: presentation
// facts and the video and audio representations in document order.
//
// The manifest is untrusted network input. It is read without network
// access, entity substitution or DTD loading, a document that declares a
// DTD is refused, and its size is checked before libxml2 sees it. Relative
// BaseURL, media and sourceURL texts are resolved against the manifest's
// URL. A manifest in the draft upper-case namespace or in none is read as
// one in the DASH namespace. What this reader does not understand is
// refused with a manifest error rather than turned into wrong URLs or
// times: segment templates naming $Number$, $RepresentationID$ or any
// identifier but $Time$, or no $Time$ in their media, templates with no
// initialization (neither a URL nor inline data), timeline S elements that
// repeat (@r) or whose times are no decimal integers, a SegmentTemplate
// outside its Representation, SegmentList, several Periods, and a manifest
// from which no representation is read at all. Each refusal names the
// element (with its id, or its nearest enclosing id) and its line.
//
// mimeType, codecs, width and height given on an AdaptationSet hold for its
// Representations that do not give their own.
//
// Thread safety: the parse may be called from any thread; every parse runs
// under one process-wide mutex. A description is immutable.
// Ownership: the caller owns the description; it shares nothing with the
// document.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "util/qnv/dash/QNVDashTrackMetadata.h"

namespace plexora {

// Addressing types, shared with the playlist data.
enum : int64_t {
  kQNVDashVideoTypeNone = 0,
  kQNVDashVideoTypeLive = 1,         // SegmentTemplate
  kQNVDashVideoTypeSegmentList = 2,  // SegmentList
  kQNVDashVideoTypeFragmented = 3,   // SegmentBase
};

inline constexpr const char* kQNVXmlParserErrorDomain = "NSXMLParserErrorDomain";
inline constexpr int64_t kQNVXmlParserErrorCode = 55892;
inline constexpr const char* kQNVXmlParserErrorDescription = "Failed to parse XML document";
inline constexpr const char* kQNVXmlErrorKey = "xmlError";

// Manifests this reader refuses for what they hold rather than their syntax.
inline constexpr const char* kQNVMpdErrorDomain = "QNVMpdParser";
enum : int64_t {
  kQNVMpdErrorTooLarge = 1,
  kQNVMpdErrorDocumentTypeDeclared = 2,
  kQNVMpdErrorUnsupportedAddressing = 3,
  kQNVMpdErrorSeveralPeriods = 4,
  kQNVMpdErrorMalformedTimeline = 5,
  kQNVMpdErrorIncompleteTemplate = 6,
  kQNVMpdErrorNotDash = 7,
  kQNVMpdErrorNoPlayableRepresentation = 8,
};
// Where an error arose ("line 3, column 7", or an element and its line).
inline constexpr const char* kQNVMpdErrorPlaceKey = "where";
// The line of the refused element, when known.
inline constexpr const char* kQNVMpdErrorLineKey = "line";

// The scheme whose AudioChannelConfiguration value is the spatial layout.
inline constexpr const char* kQNVSpatialAudioChannelLayoutScheme = "tag:plexora.video,2026:spatial-audio-layout";

class QNVMediaPresentationDescription {
 public:
  struct Facts {
    bool isDynamic = false;
    bool isFragmented = false;
    uint32_t durationMS = 0;
    int64_t videoType = kQNVDashVideoTypeNone;
    std::optional<std::string> mpdAccessibilityDescription;
    double publishFrameTimeMS = 0;
    std::optional<double> availabilityEndTime;  // seconds since 1970
  };

  QNVMediaPresentationDescription(std::vector<QNVDashTrackMetadata> audioTracks,
                                  std::vector<QNVDashTrackMetadata> videoTracks, Facts facts)
      : audioTracks_(std::move(audioTracks)), videoTracks_(std::move(videoTracks)), facts_(std::move(facts)) {}

  // Reads a manifest fetched from `mpdUrl` (none for an inline one). Live
  // SegmentTemplate timelines keep their last max(N, 1) entries when they
  // hold more than N. None on failure, with the error in `error` when given.
  [[nodiscard]] static std::shared_ptr<const QNVMediaPresentationDescription> presentationDescriptionWithContentsOfXml(
      std::string_view xml, const std::optional<platform::URL>& mpdUrl, uint32_t segmentsFromEndToStartForLive,
      bool vp9Enabled, std::optional<platform::Error>* error);

  bool isDynamic() const { return facts_.isDynamic; }
  bool isFragmented() const { return facts_.isFragmented; }
  uint32_t durationMS() const { return facts_.durationMS; }
  // The type of the last representation read.
  int64_t videoType() const { return facts_.videoType; }
  const std::optional<std::string>& mpdAccessibilityDescription() const { return facts_.mpdAccessibilityDescription; }
  double publishFrameTimeMS() const { return facts_.publishFrameTimeMS; }
  const std::optional<double>& availabilityEndTime() const { return facts_.availabilityEndTime; }
  const std::vector<QNVDashTrackMetadata>& videoTracks() const { return videoTracks_; }
  const std::vector<QNVDashTrackMetadata>& audioTracks() const { return audioTracks_; }

 private:
  std::vector<QNVDashTrackMetadata> audioTracks_;
  std::vector<QNVDashTrackMetadata> videoTracks_;
  Facts facts_;
};

}  // namespace plexora

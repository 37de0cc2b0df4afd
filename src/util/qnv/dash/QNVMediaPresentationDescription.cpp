#include "util/qnv/dash/QNVMediaPresentationDescription.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashManifestPlace.h"
#include "util/qnv/dash/QNVDashManifestText.h"
#include "util/qnv/dash/QNVDashNamespace.h"
#include "util/qnv/dash/QNVDashTemplateTimeline.h"
#include "util/qnv/dash/QNVDashUnreadAddressing.h"
#include "util/qnv/dash/QNVDashXPath.h"

namespace plexora {
namespace {

constexpr const char* kClassName = "QNVMediaPresentationDescription";

// Presentation level.
constexpr const char* kIsDynamicExpression = "/dash:MPD/@type='dynamic'";
constexpr const char* kDurationExpression = "/dash:MPD/@mediaPresentationDuration";
constexpr const char* kPublishFrameTimeExpression = "number(/dash:MPD/@publishFrameTime)";
constexpr const char* kAvailabilityEndTimeExpression = "/dash:MPD/@availabilityEndTime";
constexpr const char* kAccessibilityExpression = "//dash:Accessibility";
constexpr const char* kSchemeIdUriExpression = "string(@schemeIdUri)";
constexpr const char* kRepresentationExpression = "//dash:Representation";

// Representation level. An AdaptationSet's attribute precedes its
// Representation's in document order, so the last of the two is the
// Representation's own when it gives one.
constexpr const char* kIdExpression = "string(@id)";
constexpr const char* kWidthExpression = "number((../@width | @width)[last()])";
constexpr const char* kHeightExpression = "number((../@height | @height)[last()])";
constexpr const char* kBandwidthExpression = "number(@bandwidth)";
constexpr const char* kQualityLabelExpression = "string(@OVQualityLabel)";
constexpr const char* kMimeTypeExpression = "string((../@mimeType | @mimeType)[last()])";
constexpr const char* kCodecsExpression = "string((../@codecs | @codecs)[last()])";
constexpr const char* kChannelConfigurationExpression =
    // The scheme is kQNVSpatialAudioChannelLayoutScheme.
    "string(dash:AudioChannelConfiguration[@schemeIdUri='tag:plexora.video,2026:spatial-audio-layout']/@value)";
constexpr const char* kEncodedInitDataExpression = "string(dash:OVInitializationBinary/text())";
constexpr const char* kProjectionExpression = "string(../@OVProjection)";
constexpr const char* kHasSegmentBaseExpression = "dash:SegmentBase";
constexpr const char* kSegmentTemplateExpression = "dash:SegmentTemplate";
constexpr const char* kBaseUrlExpression = "translate(normalize-space(dash:BaseURL/text()), ' ', '')";
constexpr const char* kIndexRangeExpression = "string(dash:SegmentBase/@indexRange)";
constexpr const char* kInitializationRangeExpression = "string(dash:SegmentBase/dash:Initialization/@range)";
constexpr const char* kRepresentationMpdUrlExpression =
    "translate(normalize-space(dash:OVRepresentationMPDURL/text()), ' ', '')";
constexpr const char* kTemplateInitializationExpression = "string(dash:SegmentTemplate/@initialization)";
constexpr const char* kTemplateMediaExpression = "string(dash:SegmentTemplate/@media)";
constexpr const char* kTemplateTimelineExpression = "dash:SegmentTemplate/dash:SegmentTimeline/dash:S";
constexpr const char* kTemplateTimescaleExpression = "number(dash:SegmentTemplate/@timescale)";

constexpr const char* kVideoMime = "video/mp4";
constexpr const char* kAudioMime = "audio/mp4";
constexpr const char* kWebmMime = "video/webm";
constexpr const char* kTimeIdentifier = "$Time$";

constexpr const char* kNoDataMessage = "No mpd data provided";
constexpr const char* kUnrecognizedTypeMessage = "Unrecognized MPD type";
constexpr const char* kTypeSwitchMessage = "Video type switch";
constexpr const char* kNilBaseMessage = "cannot construct segmented URLs from nil base URL";
constexpr const char* kWebmIgnoredFormat = "%s webm mime type ignored because not yet supported";
constexpr const char* kUnrecognizedMimeFormat = "Unrecognized mime type: %s";
constexpr const char* kTooLargeDescription = "Manifest larger than the XML reader accepts";
constexpr const char* kDocumentTypeDescription = "Manifest declares a document type";
constexpr const char* kNotDashDescription = "Manifest root is no MPD of the DASH namespace";
constexpr const char* kOuterTemplateDescription = "SegmentTemplate outside its Representation";
constexpr const char* kSegmentListDescription = "SegmentList addressing is not read";
constexpr const char* kSeveralPeriodsDescription = "Manifest with more than one Period";
constexpr const char* kRepeatedSegmentDescription = "SegmentTimeline S with a repeat count";
constexpr const char* kTemplateIdentifierDescription = "SegmentTemplate identifier other than $Time$";
constexpr const char* kTemplateMediaDescription = "SegmentTemplate without a @media naming $Time$";
constexpr const char* kTemplateInitializationDescription =
    "SegmentTemplate without @initialization or inline initialization data";
constexpr const char* kNoPlayableDescription = "No playable Representation";
constexpr const char* kNoRepresentationReason = "the manifest lists none";
constexpr const char* kNoAddressingReason = "no SegmentBase or SegmentTemplate";
constexpr const char* kWebmReason = "video/webm is not enabled";
constexpr const char* kMimeReasonFormat = "mime type \"%s\" is not played";
constexpr const char* kMoreReasonsFormat = " (and %zu more)";
constexpr const char* kPlaceSeparator = ": ";
constexpr const char* kErrorCodeKey = "code";
constexpr const char* kErrorMessageKey = "message";
constexpr const char* kErrorLineKey = "line";
constexpr const char* kErrorColumnKey = "column";
constexpr const char* kXmlPlaceFormat = "line %d, column %d";

// 2^64 as a double.
constexpr double kTwoTo64 = 18446744073709551616.0;

std::mutex& parseMutex() {
  static std::mutex mutex;
  return mutex;
}

void setError(std::optional<platform::Error>* error, const char* domain, int64_t code, const std::string& description,
              platform::Dictionary details = {}) {
  if (error == nullptr) return;
  details.set(platform::kLocalizedDescriptionKey, platform::Value(description));
  *error = platform::Error(domain, code, std::move(details));
}

// A manifest refused for what it holds; `element` is where, null for the
// whole document.
void refuse(std::optional<platform::Error>* error, int64_t code, const std::string& reason, xmlNodePtr element) {
  const std::string place = QNVDashManifestPlace(element);
  platform::Dictionary details;
  if (!place.empty()) details.set(kQNVMpdErrorPlaceKey, platform::Value(place));
  if (const long line = QNVDashManifestLine(element); line > 0) {
    details.set(kQNVMpdErrorLineKey, platform::Value(int64_t{line}));
  }
  setError(error, kQNVMpdErrorDomain, code, place.empty() ? reason : reason + kPlaceSeparator + place,
           std::move(details));
}

std::string formatted(const char* format, const char* value) {
  char text[256];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Whether a template text names anything but $Time$.
bool hasUnreadIdentifier(std::string text) {
  for (size_t at = text.find(kTimeIdentifier); at != std::string::npos; at = text.find(kTimeIdentifier)) {
    text.erase(at, std::string_view(kTimeIdentifier).size());
  }
  return text.find('$') != std::string::npos;
}

uint64_t publishTimeFromNumber(double number) {
  if (!(number > 0)) return 0;
  if (number >= kTwoTo64) return UINT64_MAX;
  return static_cast<uint64_t>(number);
}

struct Reading {
  QNVXPathContext& xpath;
  const std::optional<platform::URL>& mpdUrl;
  uint32_t segmentsFromEnd;
  // Only a live timeline is cut back to its edge: a static one is the whole
  // presentation, every segment of which is played.
  bool isDynamic;
};

// Why a representation's template or timeline is refused, and where.
struct TemplateRefusal {
  int64_t code = 0;
  const char* reason = nullptr;
  xmlNodePtr element = nullptr;
};

QNVDashTrackMetadata readSegmentBase(Reading& reading, QNVDashRepresentationFields fields) {
  fields.initializationUrl = QNVUrlFromReference(reading.xpath.string(kBaseUrlExpression), reading.mpdUrl);
  const QNVByteRange indexRange = QNVRangeFromStartToEndString(reading.xpath.string(kIndexRangeExpression));
  const QNVByteRange initializationRange =
      QNVRangeFromStartToEndString(reading.xpath.string(kInitializationRangeExpression));
  return QNVDashTrackMetadata::segmentBaseMetadata(std::move(fields), indexRange, initializationRange);
}

// The track, or in `refusal` why there is none.
std::optional<QNVDashTrackMetadata> readSegmentTemplate(Reading& reading, QNVDashRepresentationFields fields,
                                                        std::string encodedInitData, TemplateRefusal& refusal) {
  const std::vector<xmlNodePtr> templates = reading.xpath.nodes(kSegmentTemplateExpression);
  refusal.element = templates.empty() ? nullptr : templates.front();
  const std::string initialization = reading.xpath.string(kTemplateInitializationExpression);
  const std::string media = reading.xpath.string(kTemplateMediaExpression);
  if (hasUnreadIdentifier(initialization) || hasUnreadIdentifier(media)) {
    refusal = {kQNVMpdErrorUnsupportedAddressing, kTemplateIdentifierDescription, refusal.element};
    return std::nullopt;
  }
  // Without its identifier every segment would be fetched from one URL.
  if (media.find(kTimeIdentifier) == std::string::npos) {
    refusal = {kQNVMpdErrorIncompleteTemplate, kTemplateMediaDescription, refusal.element};
    return std::nullopt;
  }
  // Without either, the initialization URL would be the base directory.
  if (initialization.empty() && encodedInitData.empty()) {
    refusal = {kQNVMpdErrorIncompleteTemplate, kTemplateInitializationDescription, refusal.element};
    return std::nullopt;
  }

  const std::string representationMpdText = reading.xpath.string(kRepresentationMpdUrlExpression);
  const std::optional<platform::URL> representationMpdUrl = QNVUrlFromReference(representationMpdText, reading.mpdUrl);
  std::optional<platform::URL> base;
  const std::string baseText = reading.xpath.string(kBaseUrlExpression);
  if (!baseText.empty()) {
    base = QNVUrlFromReference(baseText, reading.mpdUrl);
  } else if (const auto& manifest = representationMpdUrl ? representationMpdUrl : reading.mpdUrl) {
    base = QNVDirectoryUrl(*manifest);
  }
  if (!base) OV_LOG(kOVAdLogLevelWarn, "%s", kNilBaseMessage);
  if (!initialization.empty()) fields.initializationUrl = QNVUrlFromBase(base, initialization);
  const auto segmentTemplate = std::make_shared<const QNVDashSegmentTemplate>(std::move(base), media);

  const std::vector<xmlNodePtr> segments = reading.xpath.nodes(kTemplateTimelineExpression);
  const size_t kept = std::max<size_t>(reading.segmentsFromEnd, 1);
  const size_t first = reading.isDynamic && segments.size() > reading.segmentsFromEnd ? segments.size() - kept : 0;
  QNVDashTemplateTimeline timeline = QNVReadTemplateTimeline(segments, first, segmentTemplate);
  if (timeline.refusal != nullptr) {
    refusal = {kQNVMpdErrorMalformedTimeline, timeline.refusal, timeline.refusedElement};
    return std::nullopt;
  }
  const uint32_t timescale = QNVUInt32FromXPathNumber(reading.xpath.number(kTemplateTimescaleExpression));
  return QNVDashTrackMetadata::segmentTemplateMetadata(std::move(fields), timescale, std::move(timeline.entries),
                                                       std::move(encodedInitData), representationMpdUrl);
}

// Why representations were dropped, for the refusal of a manifest from
// which none is read.
class DroppedRepresentations {
 public:
  void add(xmlNodePtr representation, const std::string& reason) {
    if (count_++ == 0) first_ = QNVDashManifestPlace(representation) + kPlaceSeparator + reason;
  }
  std::string description() const {
    std::string text = std::string(kNoPlayableDescription) + kPlaceSeparator;
    if (count_ == 0) return text + kNoRepresentationReason;
    text += first_;
    if (count_ > 1) {
      char more[64];
      std::snprintf(more, sizeof more, kMoreReasonsFormat, count_ - 1);
      text += more;
    }
    return text;
  }

 private:
  size_t count_ = 0;
  std::string first_;
};

}  // namespace

std::shared_ptr<const QNVMediaPresentationDescription>
QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(std::string_view xml,
                                                                          const std::optional<platform::URL>& mpdUrl,
                                                                          uint32_t segmentsFromEndToStartForLive,
                                                                          bool vp9Enabled,
                                                                          std::optional<platform::Error>* error) {
  const std::lock_guard lock(parseMutex());
  if (xml.empty()) OV_LOG(kOVAdLogLevelWarn, "%s", kNoDataMessage);
  if (xml.size() > static_cast<size_t>(INT_MAX)) {
    setError(error, kQNVMpdErrorDomain, kQNVMpdErrorTooLarge, kTooLargeDescription);
    return nullptr;
  }
  const QNVXmlDocument document(xml);
  if (document.document() == nullptr) {
    platform::Dictionary xmlError{{kErrorCodeKey, platform::Value(int64_t{document.errorCode()})},
                                  {kErrorMessageKey, platform::Value(document.errorMessage())},
                                  {kErrorLineKey, platform::Value(int64_t{document.errorLine()})},
                                  {kErrorColumnKey, platform::Value(int64_t{document.errorColumn()})}};
    char place[64];
    std::snprintf(place, sizeof place, kXmlPlaceFormat, document.errorLine(), document.errorColumn());
    setError(error, kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode, kQNVXmlParserErrorDescription,
             platform::Dictionary{{kQNVXmlErrorKey, platform::Value(std::move(xmlError))},
                                  {kQNVMpdErrorPlaceKey, platform::Value(std::string(place))}});
    return nullptr;
  }
  // A manifest needs no document type; one that declares it is refused
  // before any entity it declares can be expanded by a query.
  if (document.document()->intSubset != nullptr || document.document()->extSubset != nullptr) {
    setError(error, kQNVMpdErrorDomain, kQNVMpdErrorDocumentTypeDeclared, kDocumentTypeDescription);
    return nullptr;
  }
  if (!QNVAdoptDashNamespace(document.document())) {
    refuse(error, kQNVMpdErrorNotDash, kNotDashDescription, xmlDocGetRootElement(document.document()));
    return nullptr;
  }

  switch (const QNVDashUnreadFinding unread = QNVFindUnreadAddressing(document.document()); unread.kind) {
    case QNVDashUnreadAddressing::kTemplateOutsideRepresentation:
      refuse(error, kQNVMpdErrorUnsupportedAddressing, kOuterTemplateDescription, unread.element);
      return nullptr;
    case QNVDashUnreadAddressing::kSegmentList:
      refuse(error, kQNVMpdErrorUnsupportedAddressing, kSegmentListDescription, unread.element);
      return nullptr;
    case QNVDashUnreadAddressing::kSeveralPeriods:
      refuse(error, kQNVMpdErrorSeveralPeriods, kSeveralPeriodsDescription, unread.element);
      return nullptr;
    case QNVDashUnreadAddressing::kSegmentWithRepeatCount:
      refuse(error, kQNVMpdErrorUnsupportedAddressing, kRepeatedSegmentDescription, unread.element);
      return nullptr;
    case QNVDashUnreadAddressing::kNone:
      break;
  }

  QNVXPathContext xpath(document.document());

  Facts facts;
  facts.isDynamic = xpath.boolean(kIsDynamicExpression);
  facts.durationMS = QNVDurationMSFromISO8601(xpath.string(kDurationExpression));
  facts.publishFrameTimeMS = static_cast<double>(
      publishTimeFromNumber(std::strtod(xpath.string(kPublishFrameTimeExpression).c_str(), nullptr)));
  facts.availabilityEndTime = QNVDateFromManifestText(xpath.string(kAvailabilityEndTimeExpression));
  for (xmlNodePtr node : xpath.nodes(kAccessibilityExpression)) {
    xpath.setNode(node);
    facts.mpdAccessibilityDescription = xpath.string(kSchemeIdUriExpression);
  }

  std::vector<QNVDashTrackMetadata> audioTracks;
  std::vector<QNVDashTrackMetadata> videoTracks;
  DroppedRepresentations dropped;
  Reading reading{xpath, mpdUrl, segmentsFromEndToStartForLive, facts.isDynamic};
  xpath.setNode(reinterpret_cast<xmlNodePtr>(document.document()));
  for (xmlNodePtr representation : xpath.nodes(kRepresentationExpression)) {
    xpath.setNode(representation);
    QNVDashRepresentationFields fields;
    fields.representationId = xpath.string(kIdExpression);
    const uint32_t width = QNVUInt32FromXPathNumber(xpath.number(kWidthExpression));
    const uint32_t height = QNVUInt32FromXPathNumber(xpath.number(kHeightExpression));
    fields.width = std::max(width, height);
    fields.height = std::min(width, height);
    fields.bandwidth = QNVUInt32FromXPathNumber(xpath.number(kBandwidthExpression));
    fields.qualityLabel = xpath.string(kQualityLabelExpression);
    fields.mimeType = xpath.string(kMimeTypeExpression);
    fields.codecs = xpath.string(kCodecsExpression);
    fields.audioChannelConfiguration = xpath.string(kChannelConfigurationExpression);
    std::string encodedInitData = xpath.string(kEncodedInitDataExpression);
    fields.projection = xpath.string(kProjectionExpression);

    int64_t type = kQNVDashVideoTypeNone;
    if (xpath.boolean(kHasSegmentBaseExpression)) {
      type = kQNVDashVideoTypeFragmented;
    } else if (xpath.boolean(kSegmentTemplateExpression)) {
      type = kQNVDashVideoTypeLive;
    } else {
      OV_LOG(kOVAdLogLevelWarn, "%s", kUnrecognizedTypeMessage);
      dropped.add(representation, kNoAddressingReason);
      continue;
    }
    if (facts.videoType != kQNVDashVideoTypeNone && facts.videoType != type) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kTypeSwitchMessage);
    }
    facts.videoType = type;

    const std::string mimeType = fields.mimeType;
    std::optional<QNVDashTrackMetadata> track;
    if (type == kQNVDashVideoTypeFragmented) {
      track = readSegmentBase(reading, std::move(fields));
      facts.isFragmented = true;
    } else {
      TemplateRefusal refusal;
      track = readSegmentTemplate(reading, std::move(fields), std::move(encodedInitData), refusal);
      if (!track) {
        refuse(error, refusal.code, refusal.reason, refusal.element);
        return nullptr;
      }
    }

    if (mimeType == kVideoMime) {
      videoTracks.push_back(std::move(*track));
    } else if (mimeType == kAudioMime) {
      audioTracks.push_back(std::move(*track));
    } else if (mimeType == kWebmMime) {
      if (vp9Enabled) {
        videoTracks.push_back(std::move(*track));
      } else {
        OV_LOG(kOVAdLogLevelDebug, kWebmIgnoredFormat, kClassName);
        dropped.add(representation, kWebmReason);
      }
    } else {
      OV_LOG(kOVAdLogLevelWarn, kUnrecognizedMimeFormat, mimeType.c_str());
      dropped.add(representation, formatted(kMimeReasonFormat, mimeType.c_str()));
    }
  }
  if (videoTracks.empty() && audioTracks.empty()) {
    refuse(error, kQNVMpdErrorNoPlayableRepresentation, dropped.description(), nullptr);
    return nullptr;
  }
  return std::make_shared<const QNVMediaPresentationDescription>(std::move(audioTracks), std::move(videoTracks),
                                                                 std::move(facts));
}

}  // namespace plexora

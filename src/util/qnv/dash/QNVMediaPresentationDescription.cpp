#include "util/qnv/dash/QNVMediaPresentationDescription.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashManifestText.h"
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

// Representation level.
constexpr const char* kIdExpression = "string(@id)";
constexpr const char* kWidthExpression = "number(@width)";
constexpr const char* kHeightExpression = "number(@height)";
constexpr const char* kBandwidthExpression = "number(@bandwidth)";
constexpr const char* kQualityLabelExpression = "string(@OVQualityLabel)";
constexpr const char* kMimeTypeExpression = "string(@mimeType)";
constexpr const char* kCodecsExpression = "string(@codecs)";
constexpr const char* kChannelConfigurationExpression =
    // The scheme is kQNVSpatialAudioChannelLayoutScheme.
    "string(dash:AudioChannelConfiguration[@schemeIdUri='tag:plexora.video,2026:spatial-audio-layout']/@value)";
constexpr const char* kEncodedInitDataExpression = "string(dash:OVInitializationBinary/text())";
constexpr const char* kProjectionExpression = "string(../@OVProjection)";
constexpr const char* kHasSegmentBaseExpression = "dash:SegmentBase";
constexpr const char* kHasSegmentListExpression = "dash:SegmentList";
constexpr const char* kHasSegmentTemplateExpression = "dash:SegmentTemplate";
constexpr const char* kBaseUrlExpression = "translate(normalize-space(dash:BaseURL/text()), ' ', '')";
constexpr const char* kIndexRangeExpression = "string(dash:SegmentBase/@indexRange)";
constexpr const char* kInitializationRangeExpression = "string(dash:SegmentBase/dash:Initialization/@range)";
constexpr const char* kSegmentUrlExpression = "dash:SegmentList/dash:SegmentURL";
constexpr const char* kMediaExpression = "string(@media)";
constexpr const char* kListTimelineExpression = "dash:SegmentList/dash:SegmentTimeline/dash:S";
constexpr const char* kTimeExpression = "string(@t)";
constexpr const char* kDurationAttributeExpression = "string(@d)";
constexpr const char* kListInitializationExpression = "string(dash:SegmentList/dash:Initialization/@sourceURL)";
constexpr const char* kListTimescaleExpression = "number(dash:SegmentList/@timescale)";
constexpr const char* kListDurationExpression = "number(dash:SegmentList/@duration)";
constexpr const char* kRepresentationMpdUrlExpression =
    "translate(normalize-space(dash:OVRepresentationMPDURL/text()), ' ', '')";
constexpr const char* kTemplateInitializationExpression = "string(dash:SegmentTemplate/@initialization)";
constexpr const char* kTemplateMediaExpression = "string(dash:SegmentTemplate/@media)";
constexpr const char* kTemplateTimelineExpression = "dash:SegmentTemplate/dash:SegmentTimeline/dash:S";
constexpr const char* kTemplateTimescaleExpression = "number(dash:SegmentTemplate/@timescale)";
// A timeline segment's attributes, read directly for their number.
constexpr const char* kTimeAttribute = "t";
constexpr const char* kDurationAttribute = "d";

constexpr const char* kVideoMime = "video/mp4";
constexpr const char* kAudioMime = "audio/mp4";
constexpr const char* kWebmMime = "video/webm";
constexpr const char* kTimeIdentifier = "$Time$";

constexpr const char* kNoDataMessage = "No mpd data provided";
constexpr const char* kUnrecognizedTypeMessage = "Unrecognized MPD type";
constexpr const char* kTypeSwitchMessage = "Video type switch";
constexpr const char* kCountMismatchFormat = "mismatch in counts SegmentList and SegmentTimeline %lu != %lu";
constexpr const char* kNilBaseMessage = "cannot construct segmented URLs from nil base URL";
constexpr const char* kWebmIgnoredFormat = "%s webm mime type ignored because not yet supported";
constexpr const char* kUnrecognizedMimeFormat = "Unrecognized mime type: %s";
constexpr const char* kTooLargeDescription = "Manifest larger than the XML reader accepts";
constexpr const char* kDocumentTypeDescription = "Manifest declares a document type";
constexpr const char* kOuterTemplateDescription = "SegmentTemplate outside its Representation";
constexpr const char* kRepeatedSegmentDescription = "SegmentTimeline S with a repeat count";
constexpr const char* kTemplateIdentifierDescription = "SegmentTemplate identifier other than $Time$";
constexpr const char* kErrorCodeKey = "code";
constexpr const char* kErrorMessageKey = "message";
constexpr const char* kErrorLineKey = "line";

// 2^64 as a double.
constexpr double kTwoTo64 = 18446744073709551616.0;

std::mutex& parseMutex() {
  static std::mutex mutex;
  return mutex;
}

void setError(std::optional<platform::Error>* error, const char* domain, int64_t code, const char* description,
              platform::Dictionary details = {}) {
  if (error == nullptr) return;
  details.set(platform::kLocalizedDescriptionKey, platform::Value(description));
  *error = platform::Error(domain, code, std::move(details));
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
};

QNVDashTrackMetadata readSegmentBase(Reading& reading, QNVDashRepresentationFields fields) {
  fields.initializationUrl = QNVUrlFromReference(reading.xpath.string(kBaseUrlExpression), reading.mpdUrl);
  const QNVByteRange indexRange = QNVRangeFromStartToEndString(reading.xpath.string(kIndexRangeExpression));
  const QNVByteRange initializationRange =
      QNVRangeFromStartToEndString(reading.xpath.string(kInitializationRangeExpression));
  return QNVDashTrackMetadata::segmentBaseMetadata(std::move(fields), indexRange, initializationRange);
}

QNVDashTrackMetadata readSegmentList(Reading& reading, xmlNodePtr representation, QNVDashRepresentationFields fields) {
  std::vector<std::optional<platform::URL>> mediaUrls;
  for (xmlNodePtr node : reading.xpath.nodes(kSegmentUrlExpression)) {
    reading.xpath.setNode(node);
    mediaUrls.push_back(QNVUrlFromReference(reading.xpath.string(kMediaExpression), reading.mpdUrl));
  }
  reading.xpath.setNode(representation);
  const std::vector<xmlNodePtr> segments = reading.xpath.nodes(kListTimelineExpression);
  std::vector<QNVMpdTimelineEntry> entries;
  for (size_t i = 0; i < segments.size() && i < mediaUrls.size(); ++i) {
    reading.xpath.setNode(segments[i]);
    const double time = std::strtod(reading.xpath.string(kTimeExpression).c_str(), nullptr);
    const double duration = std::strtod(reading.xpath.string(kDurationAttributeExpression).c_str(), nullptr);
    entries.emplace_back(QNVTimeFromXPathNumber(time), QNVTimeFromXPathNumber(duration), mediaUrls[i]);
  }
  reading.xpath.setNode(representation);
  if (mediaUrls.size() != segments.size()) {
    OV_LOG(kOVAdLogLevelWarn, kCountMismatchFormat, static_cast<unsigned long>(mediaUrls.size()),
           static_cast<unsigned long>(segments.size()));
  }
  fields.initializationUrl = QNVUrlFromReference(reading.xpath.string(kListInitializationExpression), reading.mpdUrl);
  const uint32_t timescale = QNVUInt32FromXPathNumber(reading.xpath.number(kListTimescaleExpression));
  const uint32_t duration = QNVUInt32FromXPathNumber(reading.xpath.number(kListDurationExpression));
  return QNVDashTrackMetadata::segmentListMetadata(std::move(fields), timescale, duration, std::move(entries));
}

// None when the template names what this reader does not read.
std::optional<QNVDashTrackMetadata> readSegmentTemplate(Reading& reading, QNVDashRepresentationFields fields,
                                                        std::string encodedInitData) {
  const std::string initialization = reading.xpath.string(kTemplateInitializationExpression);
  const std::string media = reading.xpath.string(kTemplateMediaExpression);
  if (hasUnreadIdentifier(initialization) || hasUnreadIdentifier(media)) return std::nullopt;

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
  fields.initializationUrl = QNVUrlFromBase(base, initialization);
  const auto segmentTemplate = std::make_shared<const QNVDashSegmentTemplate>(std::move(base), media);

  const std::vector<xmlNodePtr> segments = reading.xpath.nodes(kTemplateTimelineExpression);
  const size_t kept = std::max<size_t>(reading.segmentsFromEnd, 1);
  const size_t first = segments.size() > reading.segmentsFromEnd ? segments.size() - kept : 0;
  std::vector<QNVMpdTimelineEntry> entries;
  entries.reserve(segments.size() - first);
  for (size_t i = first; i < segments.size(); ++i) {
    std::string timeText = QNVAttributeText(segments[i], kTimeAttribute);
    const double time = std::strtod(timeText.c_str(), nullptr);
    const double duration = std::strtod(QNVAttributeText(segments[i], kDurationAttribute).c_str(), nullptr);
    entries.emplace_back(QNVTimeFromXPathNumber(time), QNVTimeFromXPathNumber(duration),
                         QNVDashSegmentUrl(segmentTemplate, std::move(timeText)));
  }
  const uint32_t timescale = QNVUInt32FromXPathNumber(reading.xpath.number(kTemplateTimescaleExpression));
  return QNVDashTrackMetadata::segmentTemplateMetadata(std::move(fields), timescale, std::move(entries),
                                                       std::move(encodedInitData), representationMpdUrl);
}

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
                                  {kErrorLineKey, platform::Value(int64_t{document.errorLine()})}};
    setError(error, kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode, kQNVXmlParserErrorDescription,
             platform::Dictionary{{kQNVXmlErrorKey, platform::Value(std::move(xmlError))}});
    return nullptr;
  }
  // A manifest needs no document type; one that declares it is refused
  // before any entity it declares can be expanded by a query.
  if (document.document()->intSubset != nullptr || document.document()->extSubset != nullptr) {
    setError(error, kQNVMpdErrorDomain, kQNVMpdErrorDocumentTypeDeclared, kDocumentTypeDescription);
    return nullptr;
  }

  switch (QNVFindUnreadAddressing(document.document())) {
    case QNVDashUnreadAddressing::kTemplateOutsideRepresentation:
      setError(error, kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing, kOuterTemplateDescription);
      return nullptr;
    case QNVDashUnreadAddressing::kSegmentWithRepeatCount:
      setError(error, kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing, kRepeatedSegmentDescription);
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
  Reading reading{xpath, mpdUrl, segmentsFromEndToStartForLive};
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
    } else if (xpath.boolean(kHasSegmentListExpression)) {
      type = kQNVDashVideoTypeSegmentList;
    } else if (xpath.boolean(kHasSegmentTemplateExpression)) {
      type = kQNVDashVideoTypeLive;
    } else {
      OV_LOG(kOVAdLogLevelWarn, "%s", kUnrecognizedTypeMessage);
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
    } else if (type == kQNVDashVideoTypeSegmentList) {
      track = readSegmentList(reading, representation, std::move(fields));
    } else {
      track = readSegmentTemplate(reading, std::move(fields), std::move(encodedInitData));
      if (!track) {
        setError(error, kQNVMpdErrorDomain, kQNVMpdErrorUnsupportedAddressing, kTemplateIdentifierDescription);
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
      }
    } else {
      OV_LOG(kOVAdLogLevelWarn, kUnrecognizedMimeFormat, mimeType.c_str());
    }
  }
  return std::make_shared<const QNVMediaPresentationDescription>(std::move(audioTracks), std::move(videoTracks),
                                                                 std::move(facts));
}

}  // namespace plexora

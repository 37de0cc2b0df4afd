#include "util/qnv/dash/QNVDashUnreadAddressing.h"

#include <libxml/xpath.h>

#include "util/qnv/dash/QNVDashXPath.h"

namespace plexora {
namespace {

constexpr const char* kSegmentTemplateElement = "SegmentTemplate";
constexpr const char* kSegmentListElement = "SegmentList";
constexpr const char* kRepresentationElement = "Representation";
constexpr const char* kPeriodElement = "Period";
constexpr const char* kMpdElement = "MPD";
constexpr const char* kSegmentElement = "S";
constexpr const char* kRepeatAttribute = "r";

bool isDashElement(const xmlNode* node, const char* name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         xmlStrEqual(node->ns->href, reinterpret_cast<const xmlChar*>(kQNVDashNamespace)) &&
         xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
}

// An r that is present and, as an XPath number, anything but 0: an empty
// or unreadable count is NaN, which is not 0 either.
bool hasRepeatCount(xmlNodePtr segment) {
  xmlChar* text = xmlGetNoNsProp(segment, reinterpret_cast<const xmlChar*>(kRepeatAttribute));
  if (text == nullptr) return false;
  const double count = xmlXPathCastStringToNumber(text);
  xmlFree(text);
  return !(count == 0);
}

}  // namespace

QNVDashUnreadFinding QNVFindUnreadAddressing(xmlDocPtr document) {
  if (document == nullptr) return {};
  QNVDashUnreadFinding repeated;
  bool periodSeen = false;
  for (xmlNodePtr node = document->children; node != nullptr; node = QNVNextNodeInDocument(node)) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (isDashElement(node, kSegmentTemplateElement) && !isDashElement(node->parent, kRepresentationElement)) {
      return {QNVDashUnreadAddressing::kTemplateOutsideRepresentation, node};
    }
    if (isDashElement(node, kSegmentListElement)) return {QNVDashUnreadAddressing::kSegmentList, node};
    if (isDashElement(node, kPeriodElement) && isDashElement(node->parent, kMpdElement)) {
      if (periodSeen) return {QNVDashUnreadAddressing::kSeveralPeriods, node};
      periodSeen = true;
    }
    if (repeated.element == nullptr && isDashElement(node, kSegmentElement) && hasRepeatCount(node)) {
      repeated = {QNVDashUnreadAddressing::kSegmentWithRepeatCount, node};
    }
  }
  return repeated;
}

}  // namespace plexora

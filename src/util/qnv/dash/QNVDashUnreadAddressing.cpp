#include "util/qnv/dash/QNVDashUnreadAddressing.h"

#include <libxml/xpath.h>

#include "util/qnv/dash/QNVDashXPath.h"

namespace plexora {
namespace {

constexpr const char* kSegmentTemplateElement = "SegmentTemplate";
constexpr const char* kRepresentationElement = "Representation";
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

QNVDashUnreadAddressing QNVFindUnreadAddressing(xmlDocPtr document) {
  if (document == nullptr) return QNVDashUnreadAddressing::kNone;
  bool repeatCount = false;
  // Depth first without recursion: the reader's own nesting limit is
  // libxml2's, far deeper than a stack frame per level should go.
  xmlNodePtr node = document->children;
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE) {
      if (isDashElement(node, kSegmentTemplateElement) && !isDashElement(node->parent, kRepresentationElement)) {
        return QNVDashUnreadAddressing::kTemplateOutsideRepresentation;
      }
      if (!repeatCount && isDashElement(node, kSegmentElement)) repeatCount = hasRepeatCount(node);
      if (node->children != nullptr) {
        node = node->children;
        continue;
      }
    }
    while (node != nullptr && node->next == nullptr) {
      node = node->parent;
      if (node == reinterpret_cast<xmlNodePtr>(document)) node = nullptr;
    }
    if (node != nullptr) node = node->next;
  }
  return repeatCount ? QNVDashUnreadAddressing::kSegmentWithRepeatCount : QNVDashUnreadAddressing::kNone;
}

}  // namespace plexora

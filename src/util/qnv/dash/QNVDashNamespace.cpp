#include "util/qnv/dash/QNVDashNamespace.h"

#include "util/qnv/dash/QNVDashXPath.h"

namespace plexora {
namespace {

constexpr const char* kRootElement = "MPD";
// The prefix of the declaration added to the root; any prefix the document
// does not declare on its root would do.
constexpr const char* kAdoptedPrefix = "qnvdash";

const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool inNamespace(xmlNodePtr element, const xmlChar* href) {
  if (href == nullptr) return element->ns == nullptr;
  return element->ns != nullptr && xmlStrEqual(element->ns->href, href);
}

}  // namespace

bool QNVAdoptDashNamespace(xmlDocPtr document) {
  const xmlNodePtr root = document != nullptr ? xmlDocGetRootElement(document) : nullptr;
  if (root == nullptr || !xmlStrEqual(root->name, xml(kRootElement))) return false;
  if (inNamespace(root, xml(kQNVDashNamespace))) return true;
  const xmlChar* const from = root->ns != nullptr ? xml(kQNVDashDraftNamespace) : nullptr;
  if (from != nullptr && !inNamespace(root, from)) return false;
  const xmlNsPtr dash = xmlNewNs(root, xml(kQNVDashNamespace), xml(kAdoptedPrefix));
  if (dash == nullptr) return false;
  for (xmlNodePtr node = root; node != nullptr; node = QNVNextNodeInDocument(node)) {
    if (node->type == XML_ELEMENT_NODE && inNamespace(node, from)) xmlSetNs(node, dash);
  }
  return true;
}

}  // namespace plexora

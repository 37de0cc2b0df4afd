#include "util/qnv/dash/QNVDashXPath.h"

#include <libxml/parser.h>
#include <libxml/xpathInternals.h>

#include <map>
#include <memory>
#include <string>

namespace plexora {
namespace {

// No network, no entity substitution (no XML_PARSE_NOENT), no DTD loading
// or validation (no XML_PARSE_DTDLOAD, XML_PARSE_DTDVALID), no lifted size
// limits (no XML_PARSE_HUGE); errors are kept, not printed. Line numbers
// past 65535 are kept too, so a refusal in a long live manifest names its
// line.
constexpr int kManifestReadOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;

struct XPathObjectFree {
  void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

// Compiled on first use and kept for the process; the caller holds the
// parser's mutex.
xmlXPathCompExprPtr sharedExpression(const char* text) {
  static auto* compiled = new std::map<std::string, xmlXPathCompExprPtr, std::less<>>();
  const auto found = compiled->find(std::string_view(text));
  if (found != compiled->end()) return found->second;
  xmlXPathCompExprPtr expression = xmlXPathCompile(reinterpret_cast<const xmlChar*>(text));
  compiled->emplace(text, expression);
  return expression;
}

// libxml2's messages outside the parser's own error channel (encoding
// conversion, say), which XML_PARSE_NOERROR does not silence.
void ignoreXmlMessage(void*, const char*, ...) {}

}  // namespace

QNVXmlDocument::QNVXmlDocument(std::string_view bytes) {
  xmlResetLastError();
  const xmlGenericErrorFunc previous = xmlGenericError;
  void* const previousContext = xmlGenericErrorContext;
  xmlSetGenericErrorFunc(nullptr, ignoreXmlMessage);
  document_ = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kManifestReadOptions);
  xmlSetGenericErrorFunc(previousContext, previous);
  if (const xmlError* error = xmlGetLastError()) {
    errorCode_ = error->code;
    errorLine_ = error->line;
    errorColumn_ = error->int2;
    if (error->message != nullptr) errorMessage_ = error->message;
  }
}

QNVXmlDocument::~QNVXmlDocument() {
  if (document_ != nullptr) xmlFreeDoc(document_);
}

xmlNodePtr QNVNextNodeInDocument(xmlNodePtr node) {
  if (node == nullptr) return nullptr;
  if (node->type == XML_ELEMENT_NODE && node->children != nullptr) return node->children;
  while (node != nullptr && node->next == nullptr) {
    node = node->parent;
    if (node != nullptr && node->type == XML_DOCUMENT_NODE) return nullptr;
  }
  return node != nullptr ? node->next : nullptr;
}

std::string QNVAttributeText(xmlNodePtr element, const char* name) {
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return {};
  const auto* wanted = reinterpret_cast<const xmlChar*>(name);
  for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
    if (attribute->ns != nullptr || !xmlStrEqual(attribute->name, wanted)) continue;
    const xmlNodePtr child = attribute->children;
    // A plain value is one text node, read in place.
    if (child != nullptr && child->next == nullptr && child->type == XML_TEXT_NODE && child->content != nullptr) {
      return reinterpret_cast<const char*>(child->content);
    }
    xmlChar* text = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
    if (text == nullptr) return {};
    std::string copy(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return copy;
  }
  return {};
}

QNVXPathContext::QNVXPathContext(xmlDocPtr document) : context_(xmlXPathNewContext(document)) {
  if (context_ != nullptr) {
    xmlXPathRegisterNs(context_, reinterpret_cast<const xmlChar*>(kQNVDashNamespacePrefix),
                       reinterpret_cast<const xmlChar*>(kQNVDashNamespace));
  }
}

QNVXPathContext::~QNVXPathContext() {
  if (context_ != nullptr) xmlXPathFreeContext(context_);
}

void QNVXPathContext::setNode(xmlNodePtr node) {
  if (context_ != nullptr) context_->node = node;
}

xmlXPathObjectPtr QNVXPathContext::evaluate(const char* expression) {
  xmlXPathCompExprPtr compiled = sharedExpression(expression);
  if (context_ == nullptr || compiled == nullptr) return nullptr;
  return xmlXPathCompiledEval(compiled, context_);
}

std::string QNVXPathContext::string(const char* expression) {
  const XPathObject result(evaluate(expression));
  if (!result) return {};
  xmlChar* text = xmlXPathCastToString(result.get());
  if (text == nullptr) return {};
  std::string copy(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return copy;
}

double QNVXPathContext::number(const char* expression) {
  const XPathObject result(evaluate(expression));
  return result ? xmlXPathCastToNumber(result.get()) : xmlXPathNAN;
}

bool QNVXPathContext::boolean(const char* expression) {
  const XPathObject result(evaluate(expression));
  return result && xmlXPathCastToBoolean(result.get()) != 0;
}

std::vector<xmlNodePtr> QNVXPathContext::nodes(const char* expression) {
  const XPathObject result(evaluate(expression));
  std::vector<xmlNodePtr> list;
  if (!result || result->type != XPATH_NODESET || result->nodesetval == nullptr) return list;
  const xmlNodeSetPtr set = result->nodesetval;
  list.reserve(static_cast<size_t>(set->nodeNr));
  for (int i = 0; i < set->nodeNr; ++i) list.push_back(set->nodeTab[i]);
  return list;
}

}  // namespace plexora

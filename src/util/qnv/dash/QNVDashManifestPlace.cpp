#include "util/qnv/dash/QNVDashManifestPlace.h"

#include <string_view>

namespace plexora {
namespace {

constexpr const char* kIdAttribute = "id";
constexpr const char* kIdFormat = " id=\"";
constexpr const char* kInside = " in ";
constexpr const char* kLinePrefix = ", line ";
// A manifest's id is untrusted text: a message quotes no more of it.
constexpr size_t kLongestQuotedId = 64;

std::string elementName(xmlNodePtr element) {
  return element->name != nullptr ? reinterpret_cast<const char*>(element->name) : "";
}

// The element's name with its id when it has one.
bool appendNamed(std::string& text, xmlNodePtr element) {
  xmlChar* id = xmlGetNoNsProp(element, reinterpret_cast<const xmlChar*>(kIdAttribute));
  if (id == nullptr) return false;
  const std::string_view value(reinterpret_cast<const char*>(id));
  text += elementName(element) + kIdFormat + std::string(value.substr(0, kLongestQuotedId)) + "\"";
  xmlFree(id);
  return true;
}

}  // namespace

long QNVDashManifestLine(xmlNodePtr element) {
  const long line = element != nullptr ? xmlGetLineNo(element) : -1;
  return line > 0 ? line : 0;
}

std::string QNVDashManifestPlace(xmlNodePtr element) {
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return {};
  std::string text;
  if (!appendNamed(text, element)) {
    text = elementName(element);
    for (xmlNodePtr outer = element->parent; outer != nullptr && outer->type == XML_ELEMENT_NODE;
         outer = outer->parent) {
      std::string named;
      if (appendNamed(named, outer)) {
        text += kInside + named;
        break;
      }
    }
  }
  if (const long line = QNVDashManifestLine(element); line > 0) text += kLinePrefix + std::to_string(line);
  return text;
}

}  // namespace plexora

// Scoped holders of the libxml2 objects the manifest parser uses: the
// document read from memory, and an XPath context over it with the "dash"
// prefix bound, whose queries run the process's shared compiled
// expressions.
//
// The document is read with no network access, no entity substitution and
// no DTD loading: a manifest is untrusted input.
//
// Thread safety: none. The parser holds its process-wide mutex around every
// use, which also guards the first compilation of each shared expression.
// Ownership: each holder frees its libxml2 object; the compiled expressions
// live for the process.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <string>
#include <string_view>
#include <vector>

namespace plexora {

inline constexpr const char* kQNVDashNamespacePrefix = "dash";
inline constexpr const char* kQNVDashNamespace = "urn:mpeg:dash:schema:mpd:2011";

class QNVXmlDocument {
 public:
  // The bytes must fit libxml2's int; the caller checks that first.
  explicit QNVXmlDocument(std::string_view bytes);
  ~QNVXmlDocument();
  QNVXmlDocument(const QNVXmlDocument&) = delete;
  QNVXmlDocument& operator=(const QNVXmlDocument&) = delete;

  // Null when the bytes are no well-formed document.
  xmlDocPtr document() const { return document_; }
  // libxml2's last error, taken right after the read.
  const std::string& errorMessage() const { return errorMessage_; }
  int errorCode() const { return errorCode_; }
  int errorLine() const { return errorLine_; }
  int errorColumn() const { return errorColumn_; }

 private:
  xmlDocPtr document_ = nullptr;
  std::string errorMessage_;
  int errorCode_ = 0;
  int errorLine_ = 0;
  int errorColumn_ = 0;
};

// The node after `node` in document order (its first child, else its next
// sibling, else the next sibling of its nearest ancestor that has one),
// null after the last; a walk without recursion, whatever the nesting.
xmlNodePtr QNVNextNodeInDocument(xmlNodePtr node);

// The text of `element`'s attribute `name` (one in no namespace), as the
// XPath string(@name) gives it, read without evaluating a query: a timeline
// lists tens of thousands of segments. Empty when it has none.
[[nodiscard]] std::string QNVAttributeText(xmlNodePtr element, const char* name);

class QNVXPathContext {
 public:
  explicit QNVXPathContext(xmlDocPtr document);
  ~QNVXPathContext();
  QNVXPathContext(const QNVXPathContext&) = delete;
  QNVXPathContext& operator=(const QNVXPathContext&) = delete;

  // Moves the node the relative expressions start from.
  void setNode(xmlNodePtr node);

  // The result of the shared expression `expression` cast as named; the
  // text is empty, the number NaN and the boolean false when evaluation
  // fails.
  [[nodiscard]] std::string string(const char* expression);
  [[nodiscard]] double number(const char* expression);
  [[nodiscard]] bool boolean(const char* expression);
  // The nodes of a node-set result in document order, copied out so the
  // context node can move; empty for any other result.
  [[nodiscard]] std::vector<xmlNodePtr> nodes(const char* expression);

 private:
  xmlXPathObjectPtr evaluate(const char* expression);
  xmlXPathContextPtr context_ = nullptr;
};

}  // namespace plexora

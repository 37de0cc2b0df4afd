#include "platform/value/XmlNesting.h"

namespace plexora::platform {

namespace {

constexpr size_t kNotFound = std::string_view::npos;

// Position just past `terminator` at or after `from`, or kNotFound.
size_t after(std::string_view xml, size_t from, std::string_view terminator) {
  const size_t found = xml.find(terminator, from);
  return found == kNotFound ? kNotFound : found + terminator.size();
}

// Position of the '>' that closes the markup starting at `from`, skipping
// quoted text and, for declarations, bracketed internal subsets.
size_t markupEnd(std::string_view xml, size_t from) {
  char quote = 0;
  size_t brackets = 0;
  for (size_t i = from; i < xml.size(); ++i) {
    const char c = xml[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']' && brackets > 0) {
      --brackets;
    } else if (c == '>' && brackets == 0) {
      return i;
    }
  }
  return kNotFound;
}

}  // namespace

bool xmlNestingWithin(std::string_view xml, size_t limit) {
  size_t depth = 0;
  size_t i = xml.find('<');
  while (i != kNotFound) {
    const std::string_view rest = xml.substr(i);
    size_t next = kNotFound;
    if (rest.starts_with("<!--")) {
      next = after(xml, i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      next = after(xml, i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      next = after(xml, i + 2, "?>");
    } else {
      const size_t end = markupEnd(xml, i + 1);
      if (end != kNotFound) {
        const bool declaration = rest.starts_with("<!");
        const bool closing = rest.starts_with("</");
        const bool empty = xml[end - 1] == '/';
        if (closing) {
          if (depth > 0) --depth;
        } else if (!declaration && !empty && ++depth > limit) {
          return false;
        }
        next = end + 1;
      }
    }
    if (next == kNotFound) return true;
    i = xml.find('<', next);
  }
  return true;
}

}  // namespace plexora::platform

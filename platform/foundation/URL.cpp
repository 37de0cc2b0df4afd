#include "platform/foundation/URL.h"

#include <cstdint>

#include "platform/foundation/Utf8.h"

namespace plexora::platform {

namespace {

// A URI reference split as in RFC 3986, appendix B, components as written.
struct Reference {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

constexpr std::string_view kSubDelimiters = "!$&'()*+,;=";
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kMaximumPort = 65535;

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelimiter(char c) { return kSubDelimiters.find(c) != std::string_view::npos; }
bool isPathCharacter(char c) { return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@'; }

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Whether every character is allowed by `allowed` or starts a %XX escape.
template <typename Predicate>
bool isEncodedWith(std::string_view text, Predicate allowed) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
        return false;
      }
      i += 2;
    } else if (!allowed(text[i])) {
      return false;
    }
  }
  return true;
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty() || !isAlpha(scheme.front())) {
    return false;
  }
  for (char c : scheme) {
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

// Splits a URI reference and checks the characters of each component.
std::optional<Reference> splitReference(std::string_view text) {
  Reference parts;
  std::string_view rest = text;

  const std::size_t colon = rest.find(':');
  if (colon != std::string_view::npos && colon < rest.find_first_of("/?#")) {
    const std::string_view scheme = rest.substr(0, colon);
    // A relative path's first segment may not hold a colon, so a colon here
    // always ends a scheme, valid or not.
    if (!isValidScheme(scheme)) {
      return std::nullopt;
    }
    parts.scheme = std::string(scheme);
    rest.remove_prefix(colon + 1);
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    parts.authority = std::string(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  const std::size_t fragmentStart = rest.find('#');
  if (fragmentStart != std::string_view::npos) {
    parts.fragment = std::string(rest.substr(fragmentStart + 1));
    rest = rest.substr(0, fragmentStart);
  }
  const std::size_t queryStart = rest.find('?');
  if (queryStart != std::string_view::npos) {
    parts.query = std::string(rest.substr(queryStart + 1));
    rest = rest.substr(0, queryStart);
  }
  parts.path = std::string(rest);

  auto isQueryCharacter = [](char c) { return isPathCharacter(c) || c == '/' || c == '?'; };
  if (!isEncodedWith(parts.path, [](char c) { return isPathCharacter(c) || c == '/'; }) ||
      (parts.query && !isEncodedWith(*parts.query, isQueryCharacter)) ||
      (parts.fragment && !isEncodedWith(*parts.fragment, isQueryCharacter))) {
    return std::nullopt;
  }
  return parts;
}

std::string compose(const Reference& parts) {
  std::string text;
  if (parts.scheme) {
    text += *parts.scheme + ":";
  }
  if (parts.authority) {
    text += "//" + *parts.authority;
  }
  // Without an authority a path starting "//" would read back as one;
  // "/." in front keeps the meaning (RFC 3986, section 5.3 note).
  if (!parts.authority && parts.path.starts_with("//")) {
    text += "/.";
  }
  text += parts.path;
  if (parts.query) {
    text += "?" + *parts.query;
  }
  if (parts.fragment) {
    text += "#" + *parts.fragment;
  }
  return text;
}

void removeLastSegment(std::string& output) {
  const std::size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

// RFC 3986, section 5.2.4.
std::string removeDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      removeLastSegment(output);
    } else if (input == "/..") {
      input = "/";
      removeLastSegment(output);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const std::size_t end = std::min(input.find('/', 1), input.size());
      output.append(input.substr(0, end));
      input.remove_prefix(end);
    }
  }
  return output;
}

// RFC 3986, section 5.2.3.
std::string mergePaths(const Reference& base, const std::string& relativePath) {
  if (base.authority && base.path.empty()) {
    return "/" + relativePath;
  }
  const std::size_t slash = base.path.rfind('/');
  if (slash == std::string::npos) {
    return relativePath;
  }
  return base.path.substr(0, slash + 1) + relativePath;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  const std::optional<Reference> reference = splitReference(text);
  if (!reference || !reference->scheme) {
    return std::nullopt;
  }
  const Reference& parts = *reference;
  URL url;
  url.scheme_ = *parts.scheme;
  url.path_ = parts.path;
  url.query_ = parts.query;
  url.fragment_ = parts.fragment;

  if (parts.authority) {
    std::string_view hostAndPort = *parts.authority;
    const std::size_t at = hostAndPort.find('@');
    if (at != std::string_view::npos) {
      const std::string_view userInfo = hostAndPort.substr(0, at);
      if (!isEncodedWith(userInfo, [](char c) { return isUnreserved(c) || isSubDelimiter(c) || c == ':'; })) {
        return std::nullopt;
      }
      url.userInfo_ = std::string(userInfo);
      hostAndPort.remove_prefix(at + 1);
    }

    std::string_view portText;
    bool hasPort = false;
    if (hostAndPort.starts_with("[")) {
      const std::size_t close = hostAndPort.find(']');
      if (close == std::string_view::npos) {
        return std::nullopt;
      }
      const std::string_view literal = hostAndPort.substr(1, close - 1);
      if (literal.empty() ||
          !isEncodedWith(literal, [](char c) { return isUnreserved(c) || isSubDelimiter(c) || c == ':'; })) {
        return std::nullopt;
      }
      url.host_ = std::string(literal);
      const std::string_view afterLiteral = hostAndPort.substr(close + 1);
      if (!afterLiteral.empty()) {
        if (afterLiteral.front() != ':') {
          return std::nullopt;
        }
        hasPort = true;
        portText = afterLiteral.substr(1);
      }
    } else {
      const std::size_t colon = hostAndPort.find(':');
      const std::string_view host = hostAndPort.substr(0, colon);
      if (!isEncodedWith(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); })) {
        return std::nullopt;
      }
      url.host_ = std::string(host);
      if (colon != std::string_view::npos) {
        hasPort = true;
        portText = hostAndPort.substr(colon + 1);
      }
    }

    if (hasPort && !portText.empty()) {
      int port = 0;
      for (char c : portText) {
        if (!isDigit(c)) {
          return std::nullopt;
        }
        port = port * 10 + (c - '0');
        if (port > kMaximumPort) {
          return std::nullopt;
        }
      }
      url.port_ = port;
    }
  }

  url.text_ = compose(parts);
  return url;
}

std::optional<URL> URL::resolve(std::string_view relative, const URL& base) {
  const std::optional<Reference> reference = splitReference(relative);
  const std::optional<Reference> baseParts = splitReference(base.text_);
  if (!reference || !baseParts) {
    return std::nullopt;
  }

  Reference target;
  if (reference->scheme) {
    target.scheme = reference->scheme;
    target.authority = reference->authority;
    target.path = removeDotSegments(reference->path);
    target.query = reference->query;
  } else {
    if (reference->authority) {
      target.authority = reference->authority;
      target.path = removeDotSegments(reference->path);
      target.query = reference->query;
    } else {
      if (reference->path.empty()) {
        target.path = baseParts->path;
        target.query = reference->query ? reference->query : baseParts->query;
      } else {
        target.path = reference->path.starts_with("/") ? removeDotSegments(reference->path)
                                                       : removeDotSegments(mergePaths(*baseParts, reference->path));
        target.query = reference->query;
      }
      target.authority = baseParts->authority;
    }
    target.scheme = baseParts->scheme;
  }
  target.fragment = reference->fragment;
  return parse(compose(target));
}

std::optional<URL> URL::fromFilePath(std::string_view path) {
  if (!path.starts_with("/") || path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  std::string text = "file://";
  for (char c : path) {
    if (c == '/' || (c != '%' && isPathCharacter(c))) {
      text += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      text += '%';
      text += kHexDigits[byte >> 4];
      text += kHexDigits[byte & 0x0f];
    }
  }
  return parse(text);
}

std::optional<std::string> URL::user() const {
  if (!userInfo_) {
    return std::nullopt;
  }
  return userInfo_->substr(0, userInfo_->find(':'));
}

std::optional<std::string> URL::password() const {
  if (!userInfo_) {
    return std::nullopt;
  }
  const std::size_t colon = userInfo_->find(':');
  if (colon == std::string::npos) {
    return std::nullopt;
  }
  return userInfo_->substr(colon + 1);
}

bool URL::isFileURL() const { return equalsIgnoringCase(scheme_, "file"); }

std::optional<std::string> URL::filePath() const {
  if (!isFileURL() || path_.empty() || (!host_.empty() && !equalsIgnoringCase(host_, "localhost"))) {
    return std::nullopt;
  }
  std::optional<std::string> decoded = percentDecode(path_);
  if (!decoded || decoded->find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return decoded;
}

std::string URL::lastPathComponent() const {
  std::string_view path = path_;
  while (path.size() > 1 && path.ends_with("/")) {
    path.remove_suffix(1);
  }
  if (path == "/" || path.empty()) {
    return std::string(path);
  }
  const std::string_view segment = path.substr(path.rfind('/') + 1);
  return percentDecode(segment).value_or(std::string(segment));
}

std::string URL::pathExtension() const {
  const std::string name = lastPathComponent();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    return "";
  }
  return name.substr(dot + 1);
}

std::optional<std::string> percentDecodeBytes(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
      return std::nullopt;
    }
    decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
    i += 2;
  }
  return decoded;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::optional<std::string> decoded = percentDecodeBytes(text);
  if (!decoded || !isValidUTF8(*decoded)) {
    return std::nullopt;
  }
  return decoded;
}

}  // namespace plexora::platform

// Absolute URLs (RFC 3986): parsing, relative resolution and file URLs.
//
// A URL keeps its components exactly as written (percent-escapes included);
// absoluteString() puts them back together unchanged. Everything that can
// fail answers std::optional and never throws.
//
// Thread safety: an immutable value; copies may be used on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Export.h"

namespace plexora::platform {

class PLEXORA_EXPORT URL {
 public:
  // nullopt unless `text` is a URI with a scheme whose every component uses
  // only the characters RFC 3986 allows there (and well-formed %XX escapes),
  // and whose port, when it has digits, is at most 65535.
  static std::optional<URL> parse(std::string_view text);

  // The URI reference `relative` (absolute, or relative to `base`) resolved
  // against `base` by the strict algorithm of RFC 3986, section 5.2.
  static std::optional<URL> resolve(std::string_view relative, const URL& base);

  // "file://" followed by the absolute `path`, with every byte outside a
  // path's unreserved characters percent-encoded. nullopt for an empty or
  // relative path and for one holding a NUL byte.
  static std::optional<URL> fromFilePath(std::string_view path);

  const std::string& absoluteString() const { return text_; }
  const std::string& scheme() const { return scheme_; }
  // Parts of the user information before and after its first ":".
  std::optional<std::string> user() const;
  std::optional<std::string> password() const;
  // Without the brackets of an IP literal; empty when there is no authority.
  const std::string& host() const { return host_; }
  std::optional<int> port() const { return port_; }
  // As written: still percent-encoded.
  const std::string& path() const { return path_; }
  // Without the "?" / "#"; nullopt when the URL has none (an empty one is "").
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }

  bool isFileURL() const;
  // The decoded path of a local file URL (no host or "localhost"); nullopt
  // for other URLs and for paths that do not decode to NUL-free UTF-8.
  std::optional<std::string> filePath() const;

  // The decoded last non-empty path segment ("/" for the root path, "" for
  // no path); a segment that does not decode is answered as written.
  std::string lastPathComponent() const;
  // What follows the last "." of lastPathComponent(), "" when there is no
  // dot or the only dot starts the name.
  std::string pathExtension() const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  URL() = default;

  std::string text_;
  std::string scheme_;
  std::optional<std::string> userInfo_;
  std::string host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

// Decodes %XX escapes; every other character is kept. nullopt when an escape
// is malformed or the result is not valid UTF-8.
PLEXORA_EXPORT std::optional<std::string> percentDecode(std::string_view text);
// The same for content that need not be text: the escapes may make any
// bytes. nullopt only when an escape is malformed.
PLEXORA_EXPORT std::optional<std::string> percentDecodeBytes(std::string_view text);

}  // namespace plexora::platform

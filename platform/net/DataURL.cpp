#include "platform/net/DataURL.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/foundation/Base64.h"
#include "platform/foundation/URL.h"

namespace plexora::platform {

namespace {

constexpr std::string_view kScheme = "data:";
constexpr std::string_view kBase64Suffix = ";base64";
constexpr const char* kDefaultMediaType = "text/plain;charset=US-ASCII";

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && startsWithIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

bool isDataURL(std::string_view url) { return startsWithIgnoringCase(url, kScheme); }

std::optional<DataURLContents> readDataURL(std::string_view url) {
  if (!isDataURL(url)) return std::nullopt;
  const std::string_view rest = url.substr(kScheme.size());
  const std::size_t comma = rest.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view mediaType = rest.substr(0, comma);
  const std::string_view data = rest.substr(comma + 1);

  const bool base64 = endsWithIgnoringCase(mediaType, kBase64Suffix);
  if (base64) mediaType.remove_suffix(kBase64Suffix.size());

  DataURLContents contents;
  contents.mediaType = mediaType.empty() ? kDefaultMediaType : std::string(mediaType);
  // Base64 may itself be percent-encoded inside a URL; other content may be
  // any bytes, not only text.
  const std::optional<std::string> decoded = percentDecodeBytes(data);
  if (!decoded) return std::nullopt;
  std::optional<Bytes> bytes = base64 ? base64Decode(*decoded) : Bytes(decoded->begin(), decoded->end());
  if (!bytes) return std::nullopt;
  contents.bytes = std::move(*bytes);
  return contents;
}

}  // namespace plexora::platform

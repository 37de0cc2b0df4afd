#include "platform/net/DataURL.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

#include "platform/foundation/Base64.h"

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

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes to their bytes, whatever they make: a data URL may carry any
// bytes, not only text.
std::optional<Bytes> percentDecodedBytes(std::string_view text) {
  Bytes bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes.push_back(static_cast<std::uint8_t>(text[i]));
      continue;
    }
    const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
  }
  return bytes;
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
  // Base64 may itself be percent-encoded inside a URL.
  std::optional<Bytes> bytes = percentDecodedBytes(data);
  if (bytes && base64) {
    bytes = base64Decode(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  }
  if (!bytes) return std::nullopt;
  contents.bytes = std::move(*bytes);
  return contents;
}

}  // namespace plexora::platform

#include "platform/net/HTTPURLResponse.h"

#include <algorithm>
#include <cctype>

namespace plexora::platform {

namespace {

constexpr std::string_view kContentType = "Content-Type";
constexpr std::string_view kCharsetParameter = "charset";

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string HTTPURLResponse::textEncodingName() const {
  auto contentType = headers.value(kContentType);
  if (!contentType) return {};
  std::string_view rest = *contentType;
  // Parameters follow the media type, each after a ';'.
  for (auto semicolon = rest.find(';'); semicolon != std::string_view::npos; semicolon = rest.find(';')) {
    rest.remove_prefix(semicolon + 1);
    std::string_view parameter = rest.substr(0, rest.find(';'));
    auto equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (!HTTPHeaderFields::namesEqual(trim(parameter.substr(0, equals)), kCharsetParameter)) continue;
    std::string_view value = trim(parameter.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string name(value);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
  }
  return {};
}

}  // namespace plexora::platform

#include "testserver/FormDecoding.h"

namespace plexora::testserver {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string percentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

Fields decodeForm(std::string_view text) {
  Fields fields;
  while (!text.empty()) {
    auto ampersand = text.find('&');
    std::string_view part = text.substr(0, ampersand);
    text = ampersand == std::string_view::npos ? std::string_view() : text.substr(ampersand + 1);
    if (part.empty()) continue;
    auto equals = part.find('=');
    if (equals == std::string_view::npos) {
      fields.emplace_back(percentDecode(part), std::string());
    } else {
      fields.emplace_back(percentDecode(part.substr(0, equals)), percentDecode(part.substr(equals + 1)));
    }
  }
  return fields;
}

}  // namespace plexora::testserver

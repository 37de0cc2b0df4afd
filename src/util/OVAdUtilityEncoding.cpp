// Query strings and form bodies: the wire format of every request.
#include "util/OVAdUtility.h"

#include <vector>

namespace plexora {

using platform::Value;

namespace {

constexpr const char* kPairSeparator = "&";
constexpr char kPairSeparatorChar = '&';
constexpr char kKeyValueSeparator = '=';
constexpr const char* kArrayKeySuffix = "[]";
// How a value without text reads in a pair, left unencoded.
constexpr const char* kMissingValueText = "(null)";

bool isUnreservedByte(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
         byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

void appendPair(std::string& query, std::string_view key, const Value& value) {
  if (!query.empty()) {
    query += kPairSeparator;
  }
  query += OVAdUtility::createQueryParameterFromKey(key, value);
}

}  // namespace

std::string ov_URLEncodedString(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (isUnreservedByte(byte)) {
      encoded += character;
    } else if (byte == ' ') {
      encoded += '+';
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

Value OVAdUtility::parseQueryString(const platform::URL& url) {
  const auto& query = url.query();
  return query ? parseQuery(*query) : Value(platform::Dictionary{});
}

Value OVAdUtility::parseQuery(std::string_view query) {
  platform::Dictionary pairs;
  for (const std::string_view part : split(query, kPairSeparatorChar)) {
    const auto pieces = split(part, kKeyValueSeparator);
    if (pieces.size() != 2) {
      continue;
    }
    std::string value(pieces[1]);
    for (char& character : value) {
      if (character == '+') {
        character = ' ';
      }
    }
    // A value that does not decode has nothing to store.
    auto decoded = platform::percentDecode(value);
    if (!decoded) {
      continue;
    }
    pairs.set(std::string(pieces[0]), Value(std::move(*decoded)));
  }
  return Value(std::move(pairs));
}

std::string OVAdUtility::createQueryParameterFromKey(std::string_view key, const Value& object) {
  const auto text = attemptRecoveryOfObject(object, OVAdValueClass::String);
  const std::string encodedKey = ov_URLEncodedString(key);
  const std::string encodedValue = text ? ov_URLEncodedString(text->asString()) : kMissingValueText;
  std::string pair;
  pair.reserve(encodedKey.size() + encodedValue.size() + 1);
  pair.append(encodedKey).append(1, kKeyValueSeparator).append(encodedValue);
  return pair;
}

std::string OVAdUtility::createQueryStringFromParameters(const Value& parameters) {
  std::string query;
  if (!parameters.isDictionary()) {
    return query;
  }
  for (const auto& [key, value] : parameters.asDictionary()) {
    if (value.isArray()) {
      const std::string arrayKey = key + kArrayKeySuffix;
      for (const Value& element : value.asArray()) {
        appendPair(query, arrayKey, element);
      }
    } else {
      appendPair(query, key, value);
    }
  }
  return query;
}

}  // namespace plexora

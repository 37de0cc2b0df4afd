#include "util/OVAdThreadIdentifier.h"

#include <string>

#include "platform/thread/ThreadInfo.h"
#include "platform/value/Value.h"
#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

constexpr char kFieldSeparator = ',';
constexpr char kNameValueSeparator = '=';
constexpr std::string_view kNumberFieldMarker = "num";
constexpr std::int64_t kNoNumberField = -1;

struct ParsedIdentifier {
  bool foundField = false;
  std::optional<std::int64_t> number;
};

ParsedIdentifier parseDescription(std::string_view description) {
  std::size_t start = 0;
  while (start <= description.size()) {
    std::size_t end = description.find(kFieldSeparator, start);
    if (end == std::string_view::npos) {
      end = description.size();
    }
    const std::string_view field = description.substr(start, end - start);
    const std::size_t equals = field.find(kNameValueSeparator);
    const std::string_view name = field.substr(0, equals);
    if (ov_containsString(name, kNumberFieldMarker)) {
      ParsedIdentifier parsed;
      parsed.foundField = true;
      if (equals != std::string_view::npos) {
        // Only the text up to a second "=" belongs to the value.
        std::string_view text = field.substr(equals + 1);
        text = text.substr(0, text.find(kNameValueSeparator));
        if (auto number = safeNumberFromString(platform::Value(text))) {
          parsed.number = number->toInt64();
        }
      }
      return parsed;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

std::optional<std::int64_t> threadIdentifierFromDescription(std::string_view description) {
  const ParsedIdentifier parsed = parseDescription(description);
  return parsed.foundField ? parsed.number : kNoNumberField;
}

std::optional<std::int64_t> ov_threadIdentifier() {
  thread_local std::optional<std::optional<std::int64_t>> cached;
  if (cached) {
    return *cached;
  }
  const ParsedIdentifier parsed = parseDescription(platform::currentThreadDescription());
  if (!parsed.foundField) {
    return kNoNumberField;
  }
  cached = parsed.number;
  return parsed.number;
}

}  // namespace plexora

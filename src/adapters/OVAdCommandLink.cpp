#include "adapters/OVAdCommandLink.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <string_view>

#include "adapters/OVAdCommandProcessor.h"
#include "util/OVAdDictionary.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

bool isKnownCommand(std::string_view command) {
  for (const char* known : {kOVAdCommandStore, kOVAdCommandOpenLink, kOVAdCommandClose, kOVAdCommandPassthrough,
                            kOVAdCommandOffTargetClick}) {
    if (command == known) {
      return true;
    }
  }
  return false;
}

// The page's priority read the way a number at the start of a text reads:
// blanks, an optional sign, digits; nothing, or a negative number, is the
// default 0, since priorities only count up from 0.
std::uint64_t priorityOf(const platform::Value& arguments) {
  const std::string text = stringForKey(arguments, kOVAdCommandArgumentPriority, "");
  std::size_t position = 0;
  while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  std::uint64_t value = 0;
  for (; position < text.size() && std::isdigit(static_cast<unsigned char>(text[position])); ++position) {
    const auto digit = static_cast<std::uint64_t>(text[position] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      value = std::numeric_limits<std::uint64_t>::max();
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? 0 : value;
}

// The page's "data" object, or none (logged) when the page sent something
// else: a link is built by ad code the library does not control.
std::optional<platform::Dictionary> pageData(const OVAdCommandLink& link) {
  const std::optional<std::string> text = stringForKeyOrNil(link.arguments, kOVAdCommandArgumentData);
  if (!text || text->empty()) {
    return std::nullopt;
  }
  if (text->size() > kOVAdCommandMaximumDataLength) {
    OV_LOG(kOVAdLogLevelError, "Command %s: data of %zu bytes is too long and is left out", link.command.c_str(),
           text->size());
    return std::nullopt;
  }
  std::optional<platform::Value> object = OVAdUtility::getObjectFromJSONString(*text);
  if (!object || !object->isDictionary()) {
    OV_LOG(kOVAdLogLevelError, "Command %s: data is not a JSON object and is left out", link.command.c_str());
    return std::nullopt;
  }
  return object->asDictionary();
}

void mergePageData(platform::Dictionary& eventData, const platform::Dictionary& data) {
  for (const auto& [key, value] : data) {
    // The device state and the touch are the library's own measurements; a
    // page must not be able to forge them.
    if (key == kOVAdCommandEventAnalogKey || key == kOVAdCommandEventTouchKey) {
      continue;
    }
    eventData.set(key, value);
  }
}

// The query reader drops what it cannot read without a word; a page that
// sends such arguments should learn why its command lacks them.
void reportMalformedArguments(const platform::URL& url) {
  const std::optional<std::string>& query = url.query();
  if (!query) {
    return;
  }
  std::string_view rest = *query;
  while (!rest.empty()) {
    const std::size_t end = rest.find('&');
    const std::string_view pair = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (pair.empty()) {
      continue;
    }
    const std::size_t equals = pair.find('=');
    std::string value(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
    std::replace(value.begin(), value.end(), '+', ' ');
    if (equals == std::string_view::npos || value.find('=') != std::string::npos || !platform::percentDecode(value)) {
      OV_LOG(kOVAdLogLevelError, "Command %s: the malformed argument \"%.*s\" is left out", url.host().c_str(),
             static_cast<int>(std::min<std::size_t>(pair.size(), 200)), pair.data());
    }
  }
}

}  // namespace

std::optional<OVAdCommandLink> OVAdCommandLink::parse(const platform::URL& url) {
  if (!equalsIgnoringCase(url.scheme(), kOVAdCommandScheme)) {
    OV_LOG(kOVAdLogLevelError, "Not a command link: %s", url.absoluteString().c_str());
    return std::nullopt;
  }
  if (url.host().empty()) {
    OV_LOG(kOVAdLogLevelError, "Command link without a command: %s", url.absoluteString().c_str());
    return std::nullopt;
  }
  reportMalformedArguments(url);
  return OVAdCommandLink{url.host(), OVAdUtility::parseQueryString(url)};
}

std::optional<OVAdCommandEvent> OVAdCommandEventForLink(const OVAdCommandLink& link, platform::Dictionary eventData) {
  OVAdCommandEvent event;
  if (!isKnownCommand(link.command)) {
    OV_LOG(kOVAdLogLevelWarn, "Unknown command %s is logged as an event and not handled", link.command.c_str());
  }
  if (link.command == kOVAdCommandPassthrough) {
    const std::optional<std::string> type = stringForKeyOrNil(link.arguments, kOVAdCommandArgumentType);
    if (!type || type->empty()) {
      OV_LOG(kOVAdLogLevelError, "Passthrough command without an event type is not logged");
      return std::nullopt;
    }
    event.type = *type;
    event.priority = priorityOf(link.arguments);
  } else {
    event.type = link.command;
    event.priority = link.command == kOVAdCommandOffTargetClick || link.command == kOVAdCommandClose ? 1 : 0;
  }
  if (auto data = pageData(link)) {
    mergePageData(eventData, *data);
  }
  event.data = std::move(eventData);
  return event;
}

}  // namespace plexora

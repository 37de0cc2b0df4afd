#include "dto/OVAdCookieData.h"

#include <cstdio>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Dates.h"
#include "util/OVAdDictionary.h"

namespace plexora {

namespace {

constexpr const char* kURLKey = "url";
constexpr const char* kNameKey = "key";
constexpr const char* kValueKey = "value";
constexpr const char* kExpirationKey = "expiration";

constexpr const char* kRootPath = "/";
constexpr const char* kCookieStatementStart = "document.cookie='";
constexpr const char* kCookieStatementEnd = "'; ";
constexpr const char* kSecureAttribute = "secure; ";

bool holdsForbiddenCharacter(const std::string& text) {
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (byte < 0x20 || byte == 0x7f || character == ';') {
      return true;
    }
  }
  return false;
}

// "EEE, d MMM yyyy HH:mm:ss zzz" in UTC, as cookie expiry dates are written.
std::optional<std::string> cookieDateText(double secondsSince1970) {
  const auto weekday = platform::formatUTC(secondsSince1970, "%a, ");
  const auto day = platform::formatUTC(secondsSince1970, "%d");
  const auto rest = platform::formatUTC(secondsSince1970, " %b %Y %H:%M:%S GMT");
  if (!weekday || !day || !rest) {
    return std::nullopt;
  }
  const std::string dayWithoutPadding = (*day)[0] == '0' ? day->substr(1) : *day;
  return *weekday + dayWithoutPadding + *rest;
}

}  // namespace

std::optional<OVAdHTTPCookie> OVAdHTTPCookie::cookieWithProperties(std::string name, std::string value,
                                                                   std::string domain, std::string path,
                                                                   std::optional<double> expiresDate) {
  if (name.empty() || name.find('=') != std::string::npos || holdsForbiddenCharacter(name) ||
      holdsForbiddenCharacter(value) || holdsForbiddenCharacter(domain) || holdsForbiddenCharacter(path)) {
    return std::nullopt;
  }
  return OVAdHTTPCookie{std::move(name), std::move(value), std::move(domain), std::move(path), expiresDate, false};
}

std::string OVAdHTTPCookie::description() const {
  return name + "=" + value + "; domain=" + domain + "; path=" + path;
}

OVAdCookieData::OVAdCookieData(platform::URL url, std::optional<std::string> key, std::optional<std::string> value,
                               double expiration, std::optional<OVAdHTTPCookie> cookie)
    : url_(std::move(url)),
      key_(std::move(key)),
      value_(std::move(value)),
      expiration_(expiration),
      cookie_(std::move(cookie)) {}

std::shared_ptr<OVAdCookieData> OVAdCookieData::initWithMetadata(const platform::Value& metadata) {
  if (!metadata.isDictionary()) {
    return nullptr;
  }
  const auto urlText = objectForKeyOrNil(metadata, kURLKey);
  if (!urlText || !urlText->isString()) {
    return nullptr;
  }
  auto key = stringForKeyOrNil(metadata, kNameKey);
  auto value = stringForKeyOrNil(metadata, kValueKey);
  const double expiration =
      doubleForKey(metadata, kExpirationKey, platform::Clock::current()->wallTime() + kOVAdCookieDefaultLifetimeSeconds);
  auto url = platform::URL::parse(urlText->asString());
  if (!url) {
    return nullptr;
  }
  std::optional<OVAdHTTPCookie> cookie;
  if (key && value && !url->host().empty()) {
    cookie = OVAdHTTPCookie::cookieWithProperties(*key, *value, url->host(),
                                                  url->path().empty() ? kRootPath : url->path(), expiration);
    if (!cookie) {
      return nullptr;
    }
  }
  return std::shared_ptr<OVAdCookieData>(
      new OVAdCookieData(std::move(*url), std::move(key), std::move(value), expiration, std::move(cookie)));
}

std::vector<std::shared_ptr<OVAdCookieData>> OVAdCookieData::parseCookieData(const platform::Value& value) {
  std::vector<std::shared_ptr<OVAdCookieData>> cookies;
  if (!value.isArray()) {
    return cookies;
  }
  for (const platform::Value& element : value.asArray()) {
    if (auto cookie = initWithMetadata(element)) {
      cookies.push_back(std::move(cookie));
    }
  }
  return cookies;
}

std::string OVAdCookieData::cookieStringForCookies(const std::vector<std::shared_ptr<OVAdCookieData>>& cookies) {
  std::string script;
  for (const auto& cookieData : cookies) {
    if (!cookieData || !cookieData->cookie()) {
      continue;
    }
    const OVAdHTTPCookie& cookie = *cookieData->cookie();
    script += kCookieStatementStart;
    script += OVAdJavaScriptStringEscape(cookie.name) + "=" + OVAdJavaScriptStringEscape(cookie.value);
    script += "; domain=" + OVAdJavaScriptStringEscape(cookie.domain);
    script += "; path=" + OVAdJavaScriptStringEscape(cookie.path) + "; ";
    if (cookie.expiresDate) {
      if (const auto date = cookieDateText(*cookie.expiresDate)) {
        script += "expires=" + *date + "; ";
      }
    }
    if (cookie.secure) {
      script += kSecureAttribute;
    }
    script += kCookieStatementEnd;
  }
  return script;
}

std::string OVAdJavaScriptStringEscape(const std::string& text) {
  // U+2028 and U+2029 end a line inside a JavaScript string in older
  // engines; their UTF-8 forms are E2 80 A8 and E2 80 A9.
  static constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
  static constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char character = text[index];
    const std::string_view rest(text.data() + index, text.size() - index);
    if (rest.starts_with(kLineSeparator) || rest.starts_with(kParagraphSeparator)) {
      escaped += rest[2] == kLineSeparator[2] ? "\\u2028" : "\\u2029";
      index += 2;
      continue;
    }
    switch (character) {
      case '\\': escaped += "\\\\"; break;
      case '\'': escaped += "\\'"; break;
      case '"': escaped += "\\\""; break;
      case '\n': escaped += "\\n"; break;
      case '\r': escaped += "\\r"; break;
      case '\t': escaped += "\\t"; break;
      case '/':
        // "</script>" would close the element the script stands in.
        escaped += index > 0 && text[index - 1] == '<' ? "\\/" : "/";
        break;
      default: {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte == 0x7f) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
          escaped += buffer;
        } else {
          escaped += character;
        }
      }
    }
  }
  return escaped;
}

}  // namespace plexora

// One conversion-tracking cookie the ad server asks the library to set, and
// the page script that sets a list of them in an ad's web page.
//
// Thread safety: immutable once made; any thread may read it.
// Ownership: held by the placement definition that parsed it (shared).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/value/Value.h"

namespace plexora {

// How long a cookie lives when the server names no expiry: 31 days.
inline constexpr double kOVAdCookieDefaultLifetimeSeconds = 2678400.0;

// An HTTP cookie as the library hands it on: the platform has no cookie
// object of its own.
struct OVAdHTTPCookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  // Seconds since 1970; none for a session cookie.
  std::optional<double> expiresDate;
  bool secure = false;

  // None when a field could not travel in a cookie header: an empty name, a
  // name holding "=", or any field holding ";" or a control character.
  static std::optional<OVAdHTTPCookie> cookieWithProperties(std::string name, std::string value, std::string domain,
                                                            std::string path, std::optional<double> expiresDate);

  // "name=value; domain=...; path=..." for diagnostics.
  std::string description() const;
};

class OVAdCookieData final {
 public:
  OVAdCookieData(const OVAdCookieData&) = delete;
  OVAdCookieData& operator=(const OVAdCookieData&) = delete;

  // The cookie data of one server cookie object ({"url", "key", "value",
  // "expiration"}); null without an object, without a "url" text, or when
  // that text is no URL or a complete cookie cannot be built from it. The
  // default expiry is read from the current clock.
  static std::shared_ptr<OVAdCookieData> initWithMetadata(const platform::Value& metadata);

  // The cookie data of each element of an array, skipping elements that
  // give none; empty unless `value` is an array.
  static std::vector<std::shared_ptr<OVAdCookieData>> parseCookieData(const platform::Value& value);

  // The script that sets each cookie in a page, one "document.cookie='...'; "
  // statement per cookie in order. Names, values, domains and paths are
  // escaped as JavaScript string content, so no server text can end the
  // string or the surrounding script element.
  static std::string cookieStringForCookies(const std::vector<std::shared_ptr<OVAdCookieData>>& cookies);

  const platform::URL& url() const { return url_; }
  const std::optional<std::string>& key() const { return key_; }
  const std::optional<std::string>& value() const { return value_; }
  // Seconds since 1970.
  double expiration() const { return expiration_; }
  // Present exactly when the cookie is local.
  const std::optional<OVAdHTTPCookie>& cookie() const { return cookie_; }
  // Whether the cookie belongs in the application's own cookie storage.
  bool isLocalOnly() const { return cookie_.has_value(); }

 private:
  OVAdCookieData(platform::URL url, std::optional<std::string> key, std::optional<std::string> value,
                 double expiration, std::optional<OVAdHTTPCookie> cookie);

  platform::URL url_;
  std::optional<std::string> key_;
  std::optional<std::string> value_;
  double expiration_;
  std::optional<OVAdHTTPCookie> cookie_;
};

// The text as the content of a single- or double-quoted JavaScript string
// that may sit inside an HTML script element: backslashes, quotes, control
// characters, U+2028, U+2029 and "</" are escaped.
std::string OVAdJavaScriptStringEscape(const std::string& text);

}  // namespace plexora

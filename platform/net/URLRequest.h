// What to send: an absolute http(s) URL, a method, header fields, a body, an
// optional time limit for the whole transfer and an optional bound on the
// answer's body.
//
// Only "http" and "https" URLs are fetched (redirects included); others fail
// with kURLErrorUnsupportedURL, as does a method that is not an HTTP token.
// A GET or HEAD sends no body. Header fields whose name is not a token or
// whose value holds a line break are left out.
//
// Thread safety: a plain value; not synchronised. A session copies it when a
// task is made, so the caller may reuse or change its own copy afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/HTTPHeaderFields.h"

namespace plexora::platform {

struct URLRequest {
  URLRequest() = default;
  explicit URLRequest(std::string url) : url(std::move(url)) {}

  std::string url;
  std::string httpMethod = "GET";
  HTTPHeaderFields headers;
  std::vector<std::uint8_t> httpBody;
  // Seconds for the whole transfer (connecting, sending, waiting, receiving),
  // counted from resume(); zero or less means no limit. Unset: the session
  // configuration's timeoutIntervalForRequest applies.
  std::optional<double> timeoutInterval;
  // The most bytes of body (as decoded) the answer may have. A larger one
  // fails with kURLErrorDataLengthExceedsMaximum, as soon as its announced
  // length or the bytes received so far show it: it is never held whole.
  // Unset: no bound.
  std::optional<std::size_t> maximumBodyLength;

  void setValue(std::string value, std::string_view field) { headers.set(field, std::move(value)); }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const { return headers.value(field); }
  void setBody(std::string_view text) { httpBody.assign(text.begin(), text.end()); }
};

}  // namespace plexora::platform

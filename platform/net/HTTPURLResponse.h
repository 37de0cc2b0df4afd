// What came back: the URL that answered (the last one after redirects), the
// status code and the header fields of that final answer.
//
// Thread safety: a plain value; not synchronised.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/net/HTTPHeaderFields.h"

namespace plexora::platform {

struct HTTPURLResponse {
  std::string url;
  long statusCode = 0;
  HTTPHeaderFields headers;

  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const { return headers.value(field); }
  // The charset parameter of Content-Type, lower-cased and unquoted ("utf-8"
  // for "text/html; charset=UTF-8"); empty when the server named none.
  std::string textEncodingName() const;
};

}  // namespace plexora::platform

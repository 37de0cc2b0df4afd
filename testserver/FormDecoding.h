// Decoding of application/x-www-form-urlencoded text (form bodies and query
// strings), so tests can compare what a client sent field by field.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plexora::testserver {

using Fields = std::vector<std::pair<std::string, std::string>>;

// "+" becomes a blank and "%XX" its byte; a "%" not followed by two hex
// digits stays as it is.
std::string percentDecode(std::string_view text);
// Fields in the order given; a part without "=" is a name with an empty
// value; empty parts are skipped.
Fields decodeForm(std::string_view text);

}  // namespace plexora::testserver

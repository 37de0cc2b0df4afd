// Feeds arbitrary bytes to the JSON and property-list readers. Whatever they
// accept must write back out and read back in as the same value; a mismatch
// or a crash is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/value/Value.h"

using plexora::platform::Bytes;
using plexora::platform::parseJSON;
using plexora::platform::parsePropertyList;
using plexora::platform::toBinaryPropertyList;
using plexora::platform::toJSON;
using plexora::platform::Value;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "value_fuzz: %s\n", what);
  std::abort();
}

// Any JSON text a value writes must read back as that value.
void checkJsonRoundTrip(const Value& value) {
  const auto text = toJSON(value);
  if (!text) return;
  const auto back = parseJSON(*text);
  require(back.has_value(), "written JSON does not parse");
  require(*back == value, "JSON round trip changed the value");
  require(toJSON(*back) == text, "JSON text is not stable");
}

// Any property list a value writes must read back as that value.
void checkPlistRoundTrip(const Value& value) {
  const auto binary = toBinaryPropertyList(value);
  if (!binary) return;
  const auto back = parsePropertyList(*binary);
  require(back.has_value(), "written property list does not parse");
  require(*back == value, "property-list round trip changed the value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto json = parseJSON(text)) {
    // Parsed JSON holds no data and no non-finite number, so it can always
    // be written again.
    require(toJSON(*json).has_value(), "parsed JSON cannot be written");
    checkJsonRoundTrip(*json);
    checkPlistRoundTrip(*json);
  }
  if (const auto plist = parsePropertyList(Bytes(data, data + size))) {
    // Parsed property lists hold no null, so they can always be written again.
    require(toBinaryPropertyList(*plist).has_value(), "parsed property list cannot be written");
    checkPlistRoundTrip(*plist);
    checkJsonRoundTrip(*plist);
  }
  return 0;
}

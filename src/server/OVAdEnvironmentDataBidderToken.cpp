// The bidder token: the device and application parameters as compact JSON,
// deflated with zlib and written in base64, so the host's bidding server can
// pass them on without reading them.

#include <string>

#include "platform/foundation/Base64.h"
#include "platform/foundation/Bytes.h"
#include "platform/value/Value.h"
#include "server/OVAdEnvironmentData.h"
#include "util/OVAdDynamicFrameworkLoader.h"

namespace plexora {
namespace {

// Empty when the text is empty or zlib refuses it: the token is then "".
platform::Bytes compressed(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const auto sourceLength = static_cast<uLong>(text.size());
  uLongf compressedLength = ovadsdk_dfl_compressBound(sourceLength) + 1;
  platform::Bytes buffer(compressedLength);
  const int status = ovadsdk_dfl_compress(buffer.data(), &compressedLength,
                                          reinterpret_cast<const Bytef*>(text.data()), sourceLength);
  if (status != Z_OK) {
    return {};
  }
  buffer.resize(compressedLength);
  return buffer;
}

}  // namespace

std::string OVAdEnvironmentData::bidderToken() const {
  const std::optional<std::string> json = platform::toJSON(platform::Value(deviceAndApplicationParameters()));
  if (!json.has_value()) {
    return "";
  }
  return platform::base64Encode(compressed(*json));
}

}  // namespace plexora

#include "util/OVAdSHA1HexDigest.h"

#include "platform/foundation/SHA1.h"

namespace plexora {

std::string OVAdSHA1HexDigest(std::string_view text) { return platform::sha1Hex(platform::asBytes(text)); }

}  // namespace plexora

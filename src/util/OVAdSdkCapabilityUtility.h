// The capability codes the library announces to the server with each
// request and in the bidder token.
//
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace plexora {

class OVAdSdkCapabilityUtility final {
 public:
  OVAdSdkCapabilityUtility() = delete;

  // 3, 4, 5, 7, 9, 10, 12, 16, 17, in this order.
  static std::vector<std::int64_t> supportedCapabilities();
};

}  // namespace plexora

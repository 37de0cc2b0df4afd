#include "util/OVAdSdkCapabilityUtility.h"

namespace plexora {

std::vector<std::int64_t> OVAdSdkCapabilityUtility::supportedCapabilities() { return {3, 4, 5, 7, 9, 10, 12, 16, 17}; }

}  // namespace plexora

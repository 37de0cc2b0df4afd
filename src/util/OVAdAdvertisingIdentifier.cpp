#include "util/OVAdAdvertisingIdentifier.h"

#include "platform/device/DeviceProvider.h"
#include "util/OVAdSHA1HexDigest.h"

namespace plexora {

bool isAdvertisingTrackingEnabled() {
  return platform::DeviceProvider::current()->profile().advertisingTrackingEnabled;
}

std::optional<std::string> getAdvertisingIdentifier() {
  return platform::DeviceProvider::current()->profile().advertisingIdentifier;
}

std::string testHashForAdvertiserID(std::string_view advertiserID) { return OVAdSHA1HexDigest(advertiserID); }

std::optional<std::string> testHashForSelf() {
  auto identifier = getAdvertisingIdentifier();
  if (!identifier) return std::nullopt;
  return testHashForAdvertiserID(*identifier);
}

}  // namespace plexora

// The advertising identifier, its tracking flag, and the hash that names
// this device in the list of test devices.
//
// Thread safety: callable from any thread; each call reads the current
// device profile (platform/device/DeviceProvider.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plexora {

// Whether the user allows tracking through the advertising identifier.
bool isAdvertisingTrackingEnabled();

// The identifier's UUID text (36 characters, upper case, hyphens); none when
// the platform supplies none.
std::optional<std::string> getAdvertisingIdentifier();

// The SHA-1 text (40 lower-case hexadecimal digits) of an identifier.
std::string testHashForAdvertiserID(std::string_view advertiserID);

// The test hash of this device's advertising identifier; none without an
// identifier.
std::optional<std::string> testHashForSelf();

}  // namespace plexora

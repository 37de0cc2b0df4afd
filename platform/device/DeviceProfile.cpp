#include "platform/device/DeviceProfile.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/device/NetworkReachability.h"
#include "platform/device/SystemIdentity.h"
#include "platform/foundation/UUID.h"

namespace plexora::platform {
namespace {

constexpr const char* kMachineIdPaths[] = {"/etc/machine-id", "/var/lib/dbus/machine-id"};
constexpr const char* kLocaleVariables[] = {"LC_ALL", "LANG"};

std::optional<std::string> advertisingIdentifierOfThisMachine() {
  for (const char* path : kMachineIdPaths) {
    std::ifstream file(path);
    if (!file) continue;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (auto identifier = advertisingIdentifierFromMachineId(text)) return identifier;
  }
  return std::nullopt;
}

std::optional<std::string> localeOfEnvironment() {
  for (const char* variable : kLocaleVariables) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    return localeIdentifierFromLocaleName(value);
  }
  return std::nullopt;
}

}  // namespace

ScreenSize ScreenProfile::effectiveNativeBounds() const {
  if (nativeBounds) return *nativeBounds;
  const double nativeScaleValue = effectiveNativeScale();
  return {bounds.width * nativeScaleValue, bounds.height * nativeScaleValue};
}

DeviceProfile DeviceProfile::fromSystem() {
  DeviceProfile profile;
  profile.hardwareModel = "Linux";

  utsname names{};
  if (uname(&names) == 0) {
    profile.machine = names.machine;
    profile.systemVersion = systemVersionFromRelease(names.release);
    profile.systemBuild = systemBuildFromVersion(names.version);
  }

  if (auto locale = localeOfEnvironment()) profile.localeIdentifier = *locale;

  // Without a machine id the identifier lasts as long as the process.
  static const std::string processIdentifier = makeUUIDString();
  profile.advertisingIdentifier = advertisingIdentifierOfThisMachine().value_or(processIdentifier);

  profile.reachabilityFlags = kReachabilityFlagReachable;
  return profile;
}

}  // namespace plexora::platform

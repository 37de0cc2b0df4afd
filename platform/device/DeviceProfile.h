// What the host tells the library about the device it runs on.
//
// A phone knows its model, screen and radio by itself; a Linux host does not,
// so these facts form a profile with defaults taken from the running system
// (uname, the locale environment, the machine id) that the host may replace
// as a whole or field by field through DeviceProvider.
//
// Thread safety: a plain value type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/value/Value.h"

namespace plexora::platform {

// The kind of interface the host presents (the numbers the library uses).
enum class UserInterfaceIdiom : std::int64_t { Unspecified = -1, Phone = 0, Pad = 1 };

// Orientation of the host's interface; 3 and 4 are the two landscape ones.
enum class InterfaceOrientation : std::int64_t {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

struct PLEXORA_EXPORT ScreenSize {
  double width = 0.0;
  double height = 0.0;

  bool operator==(const ScreenSize&) const = default;
};

struct PLEXORA_EXPORT ScreenProfile {
  // Size in points in the current interface orientation.
  ScreenSize bounds{1280.0, 720.0};
  // Pixels per point.
  double scale = 1.0;
  // The physical panel's pixels per point and size in pixels; unset, they
  // follow from `scale` and `bounds`.
  std::optional<double> nativeScale;
  std::optional<ScreenSize> nativeBounds;

  double effectiveNativeScale() const { return nativeScale.value_or(scale); }
  ScreenSize effectiveNativeBounds() const;
};

// Default-constructed, a profile knows nothing the system would report (no
// machine identifier, no advertising identifier, unreadable reachability);
// fromSystem() fills those in.
struct PLEXORA_EXPORT DeviceProfile {
  // Hardware identifier strings as the system control interface names them;
  // none stands for a value the system cannot report.
  std::optional<std::string> machine;        // e.g. "x86_64"
  std::optional<std::string> hardwareModel;  // e.g. "Linux"
  std::optional<std::string> systemBuild;    // the kernel's build tag

  // The device's own description of itself.
  std::string modelName = "Linux";
  std::string systemName = "Linux";
  std::string systemVersion;  // dotted decimal, e.g. "6.8.0"
  UserInterfaceIdiom idiom = UserInterfaceIdiom::Phone;

  // The device families the host application declares it supports, as its
  // information entry holds them (numbers or numeric strings: 1 phone,
  // 2 pad). Null when it declares none.
  Value applicationDeviceFamilies = Value(Array{1, 2});

  ScreenProfile screen;
  InterfaceOrientation orientation = InterfaceOrientation::LandscapeRight;

  // Language and region, e.g. "en_US".
  std::string localeIdentifier = "en_US";

  // 36 upper-case hexadecimal digits and hyphens; none when the platform
  // offers no identifier.
  std::optional<std::string> advertisingIdentifier;
  bool advertisingTrackingEnabled = true;

  // Output volume from 0.0 to 1.0.
  double outputVolume = 1.0;

  // Reachability flags of the default route (see NetworkReachability.h);
  // none when they cannot be read.
  std::optional<std::uint32_t> reachabilityFlags;
  // The cellular radio access technology's name; none without a radio.
  std::optional<std::string> radioAccessTechnology;

  // The profile of the running system: uname's machine, release and version,
  // the locale of LC_ALL or LANG, an advertising identifier derived from the
  // machine id (a random one for the process when there is none), and a
  // network reachable through a local (non-cellular) link.
  static DeviceProfile fromSystem();
};

}  // namespace plexora::platform

// Interface orientations (the enumeration shared with the device profile)
// and the masks of supported orientations, one bit per orientation: the bit
// of orientation N is 1 << N.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>

#include "platform/device/DeviceProfile.h"

namespace plexora::platform {

using InterfaceOrientationMask = std::uint64_t;

inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskPortrait = 1u << 1;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskPortraitUpsideDown = 1u << 2;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskLandscapeRight = 1u << 3;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskLandscapeLeft = 1u << 4;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskLandscape =
    kInterfaceOrientationMaskLandscapeLeft | kInterfaceOrientationMaskLandscapeRight;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskAll =
    kInterfaceOrientationMaskPortrait | kInterfaceOrientationMaskPortraitUpsideDown | kInterfaceOrientationMaskLandscape;
inline constexpr InterfaceOrientationMask kInterfaceOrientationMaskAllButUpsideDown =
    kInterfaceOrientationMaskPortrait | kInterfaceOrientationMaskLandscape;

inline constexpr InterfaceOrientationMask maskOf(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::Unknown ? 0 : InterfaceOrientationMask{1} << static_cast<int>(orientation);
}

inline constexpr bool isLandscape(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::LandscapeLeft || orientation == InterfaceOrientation::LandscapeRight;
}

}  // namespace plexora::platform

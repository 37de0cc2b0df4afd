// How the rewarded video's full-screen controllers turn: with the
// configuration's auto-rotation on they follow the device everywhere;
// otherwise a portrait device shows the ad in a landscape orientation the
// application declares, and anything else stays as it is.
//
// Thread safety: main thread only (reads the application's state).
#pragma once

#include "platform/ui/InterfaceOrientation.h"

namespace plexora {

inline constexpr const char* kOVRewardedVideoAutoRotateEnabled = "autorotate_enabled";

class OVRewardedVideoAdOrientation final {
 public:
  OVRewardedVideoAdOrientation() = delete;

  // The configuration asks for auto-rotation.
  static bool isAutoRotateEnabled();
  static platform::InterfaceOrientation preferredInterfaceOrientationForPresentation(bool autoRotateEnabled);
  // Every orientation with auto-rotation; else both landscape ones when the
  // preferred orientation is landscape, portrait otherwise.
  static platform::InterfaceOrientationMask supportedInterfaceOrientations(bool autoRotateEnabled);
};

}  // namespace plexora

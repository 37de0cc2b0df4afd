// Screens. The main screen is the device's: its facts are the screen of the
// current DeviceProvider's profile, so the library's screen facts and the
// views' screen always agree; the host (or a test) configures it there, or
// through setProfile(). Further screens, such as an external display, carry
// facts of their own.
//
// Bounds are in points and follow the interface orientation: the profile
// holds them for the current orientation (Application::setStatusBarOrientation
// swaps them when it turns between portrait and landscape). The screen's
// coordinate space has its origin at the top-left corner of the bounds;
// windows place themselves in it by their frames.
//
// Thread safety: every member may be called from any thread.
// Ownership: shared_ptr handles; the main screen lives for the process.
#pragma once

#include <memory>
#include <mutex>

#include "platform/Export.h"
#include "platform/device/DeviceProfile.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

class PLEXORA_EXPORT Screen final {
 public:
  static std::shared_ptr<Screen> main();
  // A screen that is not the device's, with fixed facts.
  static std::shared_ptr<Screen> create(ScreenProfile profile);
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  bool isMain() const { return followsDevice_; }

  ScreenProfile profile() const;
  // On the main screen this changes the device profile's screen.
  void setProfile(ScreenProfile profile);

  // At the origin, sized in points for the current orientation.
  Rect bounds() const;
  double scale() const;
  double nativeScale() const;
  // In pixels.
  Rect nativeBounds() const;

 private:
  Screen(bool followsDevice, ScreenProfile profile);

  const bool followsDevice_;
  mutable std::mutex mutex_;
  ScreenProfile profile_;
};

}  // namespace plexora::platform

#include "platform/ui/Screen.h"

#include <utility>

#include "platform/device/DeviceProvider.h"

namespace plexora::platform {

Screen::Screen(bool followsDevice, ScreenProfile profile) : followsDevice_(followsDevice), profile_(std::move(profile)) {}

std::shared_ptr<Screen> Screen::main() {
  // Deliberately leaked: windows may ask for it while statics are destroyed.
  static auto* const screen = new std::shared_ptr<Screen>(new Screen(true, ScreenProfile{}));
  return *screen;
}

std::shared_ptr<Screen> Screen::create(ScreenProfile profile) {
  return std::shared_ptr<Screen>(new Screen(false, std::move(profile)));
}

ScreenProfile Screen::profile() const {
  if (followsDevice_) {
    return DeviceProvider::current()->profile().screen;
  }
  std::lock_guard lock(mutex_);
  return profile_;
}

void Screen::setProfile(ScreenProfile profile) {
  if (followsDevice_) {
    DeviceProvider::current()->updateProfile([&](DeviceProfile& device) { device.screen = std::move(profile); });
    return;
  }
  std::lock_guard lock(mutex_);
  profile_ = std::move(profile);
}

Rect Screen::bounds() const {
  const ScreenSize size = profile().bounds;
  return Rect(0.0, 0.0, size.width, size.height);
}

double Screen::scale() const { return profile().scale; }

double Screen::nativeScale() const { return profile().effectiveNativeScale(); }

Rect Screen::nativeBounds() const {
  const ScreenSize size = profile().effectiveNativeBounds();
  return Rect(0.0, 0.0, size.width, size.height);
}

}  // namespace plexora::platform

#include "util/OVAdScreen.h"

#include <mutex>

#include "platform/device/DeviceProvider.h"

namespace plexora {
namespace {

struct ScreenState {
  double scale = 0.0;
  double nativeScale = 0.0;
  platform::Size size;
  platform::Size nativeSize;
};

platform::Size sizeOf(const platform::ScreenSize& size) { return {size.width, size.height}; }

ScreenState currentScreenState() {
  const platform::ScreenProfile screen = platform::DeviceProvider::current()->profile().screen;
  return {screen.scale, screen.effectiveNativeScale(), sizeOf(screen.bounds), sizeOf(screen.effectiveNativeBounds())};
}

std::mutex& stateMutex() {
  static std::mutex mutex;
  return mutex;
}

ScreenState& keptState() {
  static ScreenState state = currentScreenState();
  return state;
}

ScreenState state() {
  std::lock_guard lock(stateMutex());
  return keptState();
}

}  // namespace

double OVAdScreen::scale() { return state().scale; }

double OVAdScreen::nativeScale() { return state().nativeScale; }

platform::Size OVAdScreen::size() { return state().size; }

platform::Size OVAdScreen::nativeSize() { return state().nativeSize; }

platform::Rect OVAdScreen::bounds() { return {platform::Point{}, size()}; }

std::int64_t OVAdScreen::orientation() {
  return static_cast<std::int64_t>(platform::DeviceProvider::current()->profile().orientation);
}

platform::Size OVAdScreen::sizeInOrientation() {
  return sizeOf(platform::DeviceProvider::current()->profile().screen.bounds);
}

platform::Rect OVAdScreen::boundsInOrientation() { return {platform::Point{}, sizeInOrientation()}; }

void OVAdScreen::recomputeCachedState() {
  ScreenState fresh = currentScreenState();
  std::lock_guard lock(stateMutex());
  keptState() = fresh;
}

}  // namespace plexora

#include "util/OVAdScreen.h"

#include <mutex>

#include "platform/device/DeviceProvider.h"

namespace plexora {
namespace {

struct ScreenState {
  double scale = 0.0;
  double nativeScale = 0.0;
  OVAdSize size;
  OVAdSize nativeSize;
};

OVAdSize sizeOf(const platform::ScreenSize& size) { return {size.width, size.height}; }

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

OVAdSize OVAdScreen::size() { return state().size; }

OVAdSize OVAdScreen::nativeSize() { return state().nativeSize; }

OVAdRect OVAdScreen::bounds() { return {OVAdPoint{}, size()}; }

std::int64_t OVAdScreen::orientation() {
  return static_cast<std::int64_t>(platform::DeviceProvider::current()->profile().orientation);
}

OVAdSize OVAdScreen::sizeInOrientation() {
  return sizeOf(platform::DeviceProvider::current()->profile().screen.bounds);
}

OVAdRect OVAdScreen::boundsInOrientation() { return {OVAdPoint{}, sizeInOrientation()}; }

void OVAdScreen::recomputeCachedState() {
  ScreenState fresh = currentScreenState();
  std::lock_guard lock(stateMutex());
  keptState() = fresh;
}

}  // namespace plexora

// Facts about the main screen: scale and size, kept from the first use, and
// the interface orientation and the size in it, read at each call.
//
// The platform's screen bounds always follow the interface orientation, so
// the size in the current orientation is simply the current bounds.
//
// Thread safety: the kept figures may be read from any thread; orientation
// and the figures in it are meant for the main thread.
#pragma once

#include <cstdint>

#include "platform/ui/Geometry.h"

namespace plexora {

class OVAdScreen final {
 public:
  OVAdScreen() = delete;

  // Kept from the first use.
  static double scale();
  static double nativeScale();
  // Points.
  static platform::Size size();
  // Pixels of the physical panel.
  static platform::Size nativeSize();
  // At the origin, with `size`.
  static platform::Rect bounds();

  // The interface orientation (1 portrait, 2 upside down, 3 and 4 the two
  // landscape orientations).
  static std::int64_t orientation();
  static platform::Size sizeInOrientation();
  // At the origin, with `sizeInOrientation`.
  static platform::Rect boundsInOrientation();

  // Takes the kept figures from the screen again. Runs by itself at the first
  // use; tests call it after changing the device profile.
  static void recomputeCachedState();
};

}  // namespace plexora

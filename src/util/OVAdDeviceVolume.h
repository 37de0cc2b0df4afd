// The device's output volume, reported with every ad request.
//
// Thread safety: callable from any thread.
#pragma once

namespace plexora {

// From 0.0 (muted) to 1.0; a profile value outside that range is clamped.
double deviceVolume();

}  // namespace plexora

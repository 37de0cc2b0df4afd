// Which renderer draws a blurred image view's backdrop.
//
// Thread safety: any thread (a pure function).
#pragma once

#include <cstdint>

namespace plexora {

enum class OVAdImageRendererKind { Metal, OpenGL, Software };

// The application's rendering methods (OVAdSettings); any other value
// leaves the choice to the library.
inline constexpr std::int64_t kOVAdMediaViewRenderingMethodOpenGL = 2;
inline constexpr std::int64_t kOVAdMediaViewRenderingMethodSoftware = 3;

// The application's method when it names one; else Metal when the system
// has it, a Metal device is present and the configuration allows it; else
// OpenGL.
OVAdImageRendererKind OVAdChooseImageRenderer(std::int64_t renderingMethod, bool systemHasMetal,
                                              bool metalDevicePresent, bool metalRendererEnabled);

}  // namespace plexora

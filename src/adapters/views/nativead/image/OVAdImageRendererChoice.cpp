#include "adapters/views/nativead/image/OVAdImageRendererChoice.h"

namespace plexora {

OVAdImageRendererKind OVAdChooseImageRenderer(std::int64_t renderingMethod, bool systemHasMetal,
                                              bool metalDevicePresent, bool metalRendererEnabled) {
  if (renderingMethod == kOVAdMediaViewRenderingMethodSoftware) return OVAdImageRendererKind::Software;
  if (renderingMethod == kOVAdMediaViewRenderingMethodOpenGL) return OVAdImageRendererKind::OpenGL;
  if (systemHasMetal && metalDevicePresent && metalRendererEnabled) return OVAdImageRendererKind::Metal;
  return OVAdImageRendererKind::OpenGL;
}

}  // namespace plexora

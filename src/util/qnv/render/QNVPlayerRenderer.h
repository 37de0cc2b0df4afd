// How the player layer draws a decoded frame: the renderer it hands its
// luma and chroma textures (bound to units 0 and 1) and its framebuffer to.
//
// Thread safety: every call comes on the layer's render side with the
// layer's GL context current and its framebuffer bound.
// Ownership: the layer holds its current renderer (and the one it just
// replaced until that has restored its state).
#pragma once

#include <GLES3/gl3.h>

#include <string>

#include "platform/media/AffineTransform.h"
#include "platform/media/PixelBuffer.h"
#include "platform/ui/Geometry.h"

namespace plexora {

// The layer's video gravities.
inline constexpr const char* kQNVVideoGravityResizeAspect = "AVLayerVideoGravityResizeAspect";
inline constexpr const char* kQNVVideoGravityResizeAspectFill = "AVLayerVideoGravityResizeAspectFill";
inline constexpr const char* kQNVVideoGravityResize = "AVLayerVideoGravityResize";

// How YCbCr samples become RGB: rgb = matrix * (y - lumaOffset, cb - 0.5,
// cr - 0.5), the matrix column-major. Video range (luma 16-235) and full
// range (0-255), for the BT.709 and BT.601 matrices.
struct QNVColorConversion {
  GLfloat matrix[9];
  GLfloat lumaOffset;
};
extern const QNVColorConversion kQNVColorConversion709;
extern const QNVColorConversion kQNVColorConversion601;
extern const QNVColorConversion kQNVColorConversion709FullRange;
extern const QNVColorConversion kQNVColorConversion601FullRange;

class QNVPlayerRenderer {
 public:
  virtual ~QNVPlayerRenderer() = default;
  virtual bool shouldRenderWhilePlaybackPaused() const = 0;
  virtual bool setupGLState() = 0;
  // Answers whether it drew.
  virtual bool drawFrame(bool layoutChanged, platform::Size presentationRect, GLint backingWidth,
                         GLint backingHeight, GLuint frameBuffer, const std::string& videoGravity, double rotation,
                         platform::Rect layerBounds, const platform::AffineTransform& transform,
                         const QNVColorConversion* colorConversion) = 0;
  virtual void restoreGLState() = 0;
  virtual void invalidate() = 0;
  // Called with each new frame before it becomes textures.
  virtual void processPixelBuffer(platform::PixelBuffer* pixelBuffer) = 0;
};

}  // namespace plexora

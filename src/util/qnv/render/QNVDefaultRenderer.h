// The layer's own renderer: the frame's two textures on one quad, rotated by
// the layer's preferred rotation, scaled for the video gravity and
// converted to RGB with the layer's colour matrix.
//
// Thread safety and ownership: as QNVPlayerRenderer; the renderer owns its
// program, vertex array and buffer (deleted with the context current).
#pragma once

#include <array>
#include <memory>

#include "util/qnv/render/QNVGLProgram.h"
#include "util/qnv/render/QNVPlayerRenderer.h"

namespace plexora {

class QNVDefaultRenderer final : public QNVPlayerRenderer {
 public:
  QNVDefaultRenderer() = default;
  ~QNVDefaultRenderer() override;
  QNVDefaultRenderer(const QNVDefaultRenderer&) = delete;
  QNVDefaultRenderer& operator=(const QNVDefaultRenderer&) = delete;

  bool shouldRenderWhilePlaybackPaused() const override { return false; }
  bool setupGLState() override;
  bool drawFrame(bool layoutChanged, platform::Size presentationRect, GLint backingWidth, GLint backingHeight,
                 GLuint frameBuffer, const std::string& videoGravity, double rotation, platform::Rect layerBounds,
                 const platform::AffineTransform& transform, const QNVColorConversion* colorConversion) override;
  void restoreGLState() override;
  void invalidate() override {}
  void processPixelBuffer(platform::PixelBuffer*) override {}

  // The horizontal and vertical scale of the quad for a frame of
  // `presentationRect` in `layerBounds` (after `transform`); none for empty
  // bounds or an empty frame.
  static bool quadScale(platform::Size presentationRect, const std::string& videoGravity, platform::Rect layerBounds,
                        const platform::AffineTransform& transform, float& sx, float& sy);

 private:
  enum Uniform { kSamplerY, kSamplerUV, kPreferredRotation, kColorConversionMatrix, kLumaOffset, kUniformCount };

  bool loadShaders();
  void setupBuffers();
  void configureVertexAttributes();
  bool updateVertexArrayWithPresentationRect(platform::Size presentationRect, const std::string& videoGravity,
                                             platform::Rect layerBounds, const platform::AffineTransform& transform);

  std::unique_ptr<QNVGLProgram> glProgram_;
  GLuint vertexArrayObject_ = 0;
  GLuint vertexBuffer_ = 0;
  std::array<GLint, kUniformCount> uniforms_{kQNVGLProgramNoLocation, kQNVGLProgramNoLocation,
                                             kQNVGLProgramNoLocation, kQNVGLProgramNoLocation,
                                             kQNVGLProgramNoLocation};
  GLint backingWidth_ = 0;
  GLint backingHeight_ = 0;
  double rotation_ = 0.0;
  const QNVColorConversion* colorConversion_ = nullptr;
};

}  // namespace plexora

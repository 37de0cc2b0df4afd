// Draws images for the blurred image view's renderers: in software (a
// bitmap of part of an image) or with GLES on a GL context (a textured
// quad in the framebuffer bound on that context). Contexts never manage
// colour: pixels go through as they are.
//
// Thread safety: one thread at a time; GL drawing on the thread where the
// context's GL context is current.
// Ownership: a GL image context shares its GL context and keeps its shader
// program and texture, which go with the GL context.
#pragma once

#include <GLES3/gl3.h>

#include <memory>

#include "platform/ui/Geometry.h"

namespace plexora::platform {
class GLContext;
class Image;
}  // namespace plexora::platform

namespace plexora {

class QNVGLProgram;

class OVAdImageContext final {
 public:
  // A software context.
  static std::shared_ptr<OVAdImageContext> create();
  // Null without a GL context.
  static std::shared_ptr<OVAdImageContext> createWithGLContext(std::shared_ptr<platform::GLContext> glContext);
  ~OVAdImageContext();
  OVAdImageContext(const OVAdImageContext&) = delete;
  OVAdImageContext& operator=(const OVAdImageContext&) = delete;

  // Null for a software context.
  const std::shared_ptr<platform::GLContext>& glContext() const { return glContext_; }

  // The pixels of `image` inside `fromRect` (in pixels, cut to the image)
  // as a new image of the same scale; null when nothing is left.
  std::shared_ptr<platform::Image> createImage(const platform::Image& image, platform::Rect fromRect) const;

  // Draws the part `fromRect` of `image` (in its pixels) stretched over
  // `inRect` (pixels of the current viewport, y down from its top),
  // blending over what is there. Needs this context's GL context current;
  // false when it is not, for a software context, for an image larger than
  // a texture may be, or when GL refuses.
  bool drawImage(const platform::Image& image, platform::Rect inRect, platform::Rect fromRect);

 private:
  explicit OVAdImageContext(std::shared_ptr<platform::GLContext> glContext);
  bool prepareProgram();

  std::shared_ptr<platform::GLContext> glContext_;
  std::unique_ptr<QNVGLProgram> program_;
  GLuint texture_ = 0;
};

}  // namespace plexora

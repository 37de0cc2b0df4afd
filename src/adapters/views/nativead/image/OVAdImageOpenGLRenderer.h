// The renderer drawn with GLES: a GL view whose drawable is cleared to the
// view's background colour and then given the image, stretched over it.
//
// While the application is in the background the drawable is freed and
// GL finished, and while it is not active no draw touches GL.
//
// Thread safety: main thread only.
// Ownership: the renderer owns its GL view (which shares the GL context)
// and its image context, and keeps the last image; the view holds the
// renderer weakly as its delegate. The background observation ends with
// the renderer.
#pragma once

#include <memory>

#include "adapters/views/nativead/image/OVAdGLKView.h"
#include "adapters/views/nativead/image/OVAdImageRenderer.h"

namespace plexora {

class OVAdImageOpenGLRenderer final : public OVAdImageRenderer,
                                      public OVAdGLKViewDelegate,
                                      public std::enable_shared_from_this<OVAdImageOpenGLRenderer> {
 public:
  // Draws on `eaglContext`; without one, on the resource cache's shared GL
  // context or a new one as the configuration says. Null when no GL
  // context can be had.
  static std::shared_ptr<OVAdImageOpenGLRenderer> create(std::shared_ptr<platform::GLContext> eaglContext = nullptr);
  ~OVAdImageOpenGLRenderer() override;

  // Keeps the image and asks the view for a draw.
  void renderCIImage(std::shared_ptr<platform::Image> image) override;
  std::shared_ptr<OVAdImageContext> ciContext() const override { return ciContext_; }
  void setCiContext(std::shared_ptr<OVAdImageContext> ciContext) override { ciContext_ = std::move(ciContext); }
  std::shared_ptr<platform::View> imageView() const override { return glView_; }
  const std::shared_ptr<OVAdGLKView>& glView() const { return glView_; }

  bool glkView(OVAdGLKView& view, platform::Rect rect) override;

 private:
  void applicationDidEnterBackground();

  std::shared_ptr<OVAdImageContext> ciContext_;
  std::shared_ptr<OVAdGLKView> glView_;
  std::shared_ptr<platform::Image> ciImage_;
};

}  // namespace plexora

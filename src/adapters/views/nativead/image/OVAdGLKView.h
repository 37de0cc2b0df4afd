// A view whose content its delegate draws with GLES: the drawable is a
// framebuffer object on the view's GL context, the size of the bounds in
// pixels, read back after each draw and shown as the view's picture.
//
// Draws are asked for with setNeedsDisplay and run once on the next turn
// of the main queue, however often they were asked for. A view outside a
// window or with a zero frame is not drawn; it is drawn when it enters a
// window.
//
// Thread safety: main thread only; the GL context is made current for a
// draw and released after it.
// Ownership: the view shares its GL context, owns its drawable and holds
// its delegate weakly.
#pragma once

#include <GLES3/gl3.h>

#include <memory>

#include "platform/media/GLContext.h"
#include "platform/ui/ImageView.h"

namespace plexora {

class OVAdGLKView;

class OVAdGLKViewDelegate {
 public:
  virtual ~OVAdGLKViewDelegate() = default;

  // Draws into the bound drawable, whose viewport covers `rect` (the
  // view's bounds) times the content scale factor. False when it drew
  // nothing: the view then keeps showing what it showed.
  virtual bool glkView(OVAdGLKView& view, platform::Rect rect) = 0;
};

class OVAdGLKView final : public platform::ImageView {
 public:
  static std::shared_ptr<OVAdGLKView> create(platform::Rect frame, std::shared_ptr<platform::GLContext> context);
  ~OVAdGLKView() override;

  const std::shared_ptr<platform::GLContext>& context() const { return context_; }
  void setDelegate(std::weak_ptr<OVAdGLKViewDelegate> delegate) { delegate_ = std::move(delegate); }
  // While off, setNeedsDisplay is ignored.
  void setEnableSetNeedsDisplay(bool enable) { enableSetNeedsDisplay_ = enable; }
  // Drawable pixels a point: the main screen's scale.
  double contentScaleFactor() const;

  void setNeedsDisplay();
  // Draws now.
  void display();
  // Frees the drawable; the next draw makes a new one.
  void deleteDrawable();

  void didMoveToWindow() override;

 private:
  explicit OVAdGLKView(platform::Rect frame, std::shared_ptr<platform::GLContext> context);
  // Binds a drawable of that size, making one when needed.
  bool bindDrawable(GLsizei width, GLsizei height);
  std::shared_ptr<platform::Image> readDrawable(GLsizei width, GLsizei height) const;
  void deleteDrawableWithContextCurrent();

  std::shared_ptr<platform::GLContext> context_;
  std::weak_ptr<OVAdGLKViewDelegate> delegate_;
  bool enableSetNeedsDisplay_ = false;
  bool displayScheduled_ = false;
  GLuint framebuffer_ = 0;
  GLuint renderbuffer_ = 0;
  GLsizei drawableWidth_ = 0;
  GLsizei drawableHeight_ = 0;
};

}  // namespace plexora

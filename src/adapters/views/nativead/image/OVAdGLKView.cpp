#include "adapters/views/nativead/image/OVAdGLKView.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace plexora {

std::shared_ptr<OVAdGLKView> OVAdGLKView::create(platform::Rect frame, std::shared_ptr<platform::GLContext> context) {
  if (!context) return nullptr;
  return std::shared_ptr<OVAdGLKView>(new OVAdGLKView(frame, std::move(context)));
}

OVAdGLKView::OVAdGLKView(platform::Rect frame, std::shared_ptr<platform::GLContext> context)
    : platform::ImageView(frame), context_(std::move(context)) {
  // The picture read back is the drawable, which always has the bounds'
  // size: stretch it over them.
  setContentMode(platform::ContentMode::ScaleToFill);
}

OVAdGLKView::~OVAdGLKView() { deleteDrawable(); }

double OVAdGLKView::contentScaleFactor() const { return platform::Screen::main()->scale(); }

void OVAdGLKView::setNeedsDisplay() {
  if (!enableSetNeedsDisplay_ || !window() || frame() == platform::Rect::zero() || displayScheduled_) return;
  displayScheduled_ = true;
  const std::weak_ptr<OVAdGLKView> weakSelf = std::static_pointer_cast<OVAdGLKView>(sharedView());
  platform::DispatchQueue::main()->async([weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) return;
    self->displayScheduled_ = false;
    if (self->window()) self->display();
  });
}

void OVAdGLKView::didMoveToWindow() {
  platform::ImageView::didMoveToWindow();
  setNeedsDisplay();
}

void OVAdGLKView::display() {
  const auto delegate = delegate_.lock();
  if (!delegate) return;
  const double scale = contentScaleFactor();
  const double width = std::ceil(bounds().width() * scale);
  const double height = std::ceil(bounds().height() * scale);
  // Bounds that are not finite, or too large for an image, have no drawable.
  if (!(width >= 1.0 && height >= 1.0) ||
      !platform::isAllowedImageSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
    return;
  }
  if (!context_->makeCurrent()) return;
  const auto pixelWidth = static_cast<GLsizei>(width);
  const auto pixelHeight = static_cast<GLsizei>(height);
  if (bindDrawable(pixelWidth, pixelHeight)) {
    glViewport(0, 0, pixelWidth, pixelHeight);
    if (delegate->glkView(*this, bounds())) {
      if (auto picture = readDrawable(pixelWidth, pixelHeight)) setImage(std::move(picture));
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  platform::GLContext::clearCurrent();
}

bool OVAdGLKView::bindDrawable(GLsizei width, GLsizei height) {
  if (framebuffer_ != 0 && (width != drawableWidth_ || height != drawableHeight_)) {
    deleteDrawableWithContextCurrent();
  }
  if (framebuffer_ == 0) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width > maxSize || height > maxSize) return false;
    glGenRenderbuffers(1, &renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer_);
    drawableWidth_ = width;
    drawableHeight_ = height;
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      deleteDrawableWithContextCurrent();
      return false;
    }
  }
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  return true;
}

std::shared_ptr<platform::Image> OVAdGLKView::readDrawable(GLsizei width, GLsizei height) const {
  const std::size_t rowBytes = static_cast<std::size_t>(width) * platform::Image::kBytesPerPixel;
  platform::Bytes premultiplied(rowBytes * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, premultiplied.data());
  if (glGetError() != GL_NO_ERROR) return nullptr;
  // GL's rows run bottom to top and its colours are premultiplied; an
  // image's run top to bottom, straight.
  platform::Bytes pixels(premultiplied.size());
  for (GLsizei row = 0; row < height; ++row) {
    const std::uint8_t* from = premultiplied.data() + static_cast<std::size_t>(height - 1 - row) * rowBytes;
    std::uint8_t* to = pixels.data() + static_cast<std::size_t>(row) * rowBytes;
    for (std::size_t byte = 0; byte < rowBytes; byte += platform::Image::kBytesPerPixel) {
      const unsigned alpha = from[byte + 3];
      for (std::size_t component = 0; component < 3; ++component) {
        to[byte + component] =
            alpha == 0 ? 0
                       : static_cast<std::uint8_t>(std::min(255u, (from[byte + component] * 255u + alpha / 2) / alpha));
      }
      to[byte + 3] = static_cast<std::uint8_t>(alpha);
    }
  }
  return platform::Image::fromRGBA(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                   contentScaleFactor(), std::move(pixels));
}

void OVAdGLKView::deleteDrawable() {
  if (framebuffer_ == 0 && renderbuffer_ == 0) return;
  const bool wasCurrent = context_->isCurrent();
  if (!wasCurrent && !context_->makeCurrent()) return;
  deleteDrawableWithContextCurrent();
  if (!wasCurrent) platform::GLContext::clearCurrent();
}

void OVAdGLKView::deleteDrawableWithContextCurrent() {
  if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
  if (renderbuffer_ != 0) glDeleteRenderbuffers(1, &renderbuffer_);
  framebuffer_ = 0;
  renderbuffer_ = 0;
  drawableWidth_ = 0;
  drawableHeight_ = 0;
}

}  // namespace plexora

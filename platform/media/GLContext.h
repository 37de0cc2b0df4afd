// An OpenGL ES 3 context without a window: EGL on Mesa's surfaceless
// platform, so frames are drawn into framebuffer objects and read back.
//
// A context is current on at most one thread at a time; makeCurrent binds it
// to the calling thread (no surface: draw into a framebuffer object).
//
// Thread safety: create, makeCurrent and clearCurrent may be called from any
// thread; GL calls then go to the context current on that thread.
// Ownership: the display is opened once per process and never closed; a
// context is destroyed with its last reference (it must not then be current
// on another thread).
#pragma once

#include <memory>

namespace plexora::platform {

class GLContext final {
 public:
  // None when EGL, the surfaceless platform or a GLES 3 context is missing.
  static std::shared_ptr<GLContext> create();
  ~GLContext();
  GLContext(const GLContext&) = delete;
  GLContext& operator=(const GLContext&) = delete;

  // False when EGL refuses.
  bool makeCurrent();
  // Leaves the calling thread without a current context.
  static void clearCurrent();
  // Whether this context is current on the calling thread.
  bool isCurrent() const;

 private:
  explicit GLContext(void* context) : context_(context) {}
  void* context_;  // EGLContext
};

}  // namespace plexora::platform

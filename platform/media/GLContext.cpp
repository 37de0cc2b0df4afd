#include "platform/media/GLContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <mutex>

namespace plexora::platform {

namespace {

struct Display {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
};

// Opened once: EGL displays are process-wide, and terminating one would pull
// it from under every context.
const Display& display() {
  static const Display opened = [] {
    Display result;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) return result;
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) return result;
    if (eglBindAPI(EGL_OPENGL_ES_API) != EGL_TRUE) return result;
    const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(display, attributes, &result.config, 1, &count) != EGL_TRUE || count < 1) {
      // Surfaceless drawing needs no surface type; some drivers list none.
      const EGLint anySurface[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_NONE};
      if (eglChooseConfig(display, anySurface, &result.config, 1, &count) != EGL_TRUE || count < 1) return result;
    }
    result.display = display;
    return result;
  }();
  return opened;
}

}  // namespace

std::shared_ptr<GLContext> GLContext::create() {
  const Display& shared = display();
  if (shared.display == EGL_NO_DISPLAY) return nullptr;
  // eglBindAPI is per thread.
  eglBindAPI(EGL_OPENGL_ES_API);
  const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
  EGLContext context = eglCreateContext(shared.display, shared.config, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) return nullptr;
  return std::shared_ptr<GLContext>(new GLContext(context));
}

GLContext::~GLContext() {
  if (isCurrent()) clearCurrent();
  eglDestroyContext(display().display, static_cast<EGLContext>(context_));
}

bool GLContext::makeCurrent() {
  return eglMakeCurrent(display().display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(context_)) ==
         EGL_TRUE;
}

void GLContext::clearCurrent() {
  const Display& shared = display();
  if (shared.display != EGL_NO_DISPLAY) {
    eglMakeCurrent(shared.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }
}

bool GLContext::isCurrent() const { return eglGetCurrentContext() == static_cast<EGLContext>(context_); }

}  // namespace plexora::platform

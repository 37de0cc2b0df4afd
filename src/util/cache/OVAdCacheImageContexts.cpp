// The resource cache's shared image contexts.
#include "platform/media/GLContext.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdImageContext.h"

namespace plexora {

std::shared_ptr<OVAdImageContext> OVAdCache::defaultImageContext() {
  std::lock_guard lock(imageContextMutex_);
  if (!defaultImageContext_) defaultImageContext_ = OVAdImageContext::create();
  return defaultImageContext_;
}

std::shared_ptr<OVAdImageContext> OVAdCache::openGLImageContext() {
  const auto glContext = eaglContext();
  std::lock_guard lock(imageContextMutex_);
  if (!openGLImageContext_) openGLImageContext_ = OVAdImageContext::createWithGLContext(glContext);
  return openGLImageContext_;
}

std::shared_ptr<platform::GLContext> OVAdCache::eaglContext() {
  std::lock_guard lock(imageContextMutex_);
  if (!eaglContext_) eaglContext_ = platform::GLContext::create();
  return eaglContext_;
}

}  // namespace plexora

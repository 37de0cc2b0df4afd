#include "platform/media/VideoTextureCache.h"

#include <utility>

namespace plexora::platform {

VideoTexture::~VideoTexture() { cache_->giveBack(name_); }

int32_t VideoTextureCache::create(std::shared_ptr<GLContext> context, std::shared_ptr<VideoTextureCache>& out) {
  if (!context) return kVideoTextureCacheInvalidArgument;
  out.reset(new VideoTextureCache(std::move(context)));
  return kVideoTextureCacheOK;
}

VideoTextureCache::~VideoTextureCache() { flush(); }

int32_t VideoTextureCache::createTextureFromImage(PixelBuffer& image, GLenum target, GLint internalFormat,
                                                  GLsizei width, GLsizei height, GLenum format, GLenum type,
                                                  size_t plane, std::shared_ptr<VideoTexture>& out) {
  const size_t bytesPerTexel = format == GL_RG ? 2 : 1;
  if (plane >= image.planeCount() || type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0 ||
      static_cast<size_t>(width) * bytesPerTexel > image.bytesPerRowOfPlane(plane) ||
      static_cast<size_t>(height) > image.heightOfPlane(plane) || (format != GL_RED && format != GL_RG)) {
    return kVideoTextureCacheInvalidArgument;
  }
  image.lockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  const uint8_t* pixels = std::as_const(image).baseAddressOfPlane(plane);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(target, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerRowOfPlane(plane) / bytesPerTexel));
  glTexImage2D(target, 0, internalFormat, width, height, 0, format, type, pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  image.unlockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    return kVideoTextureCacheAllocationFailed;
  }
  out.reset(new VideoTexture(shared_from_this(), target, name));
  return kVideoTextureCacheOK;
}

void VideoTextureCache::giveBack(GLuint name) {
  std::lock_guard lock(mutex_);
  released_.push_back(name);
}

void VideoTextureCache::flush() {
  std::vector<GLuint> names;
  {
    std::lock_guard lock(mutex_);
    names.swap(released_);
  }
  if (!names.empty()) glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
}

}  // namespace plexora::platform

#include "platform/media/VideoTextureCache.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace plexora::platform {

VideoTexture::~VideoTexture() { cache_->giveBack(shape_, name_); }

int32_t VideoTextureCache::create(std::shared_ptr<GLContext> context, std::shared_ptr<VideoTextureCache>& out) {
  if (!context) return kVideoTextureCacheInvalidArgument;
  out.reset(new VideoTextureCache(std::move(context)));
  return kVideoTextureCacheOK;
}

VideoTextureCache::~VideoTextureCache() {
  deleteAll(released_);
  deleteAll(reusable_);
}

int32_t VideoTextureCache::createTextureFromImage(PixelBuffer& image, GLenum target, GLint internalFormat,
                                                  GLsizei width, GLsizei height, GLenum format, GLenum type,
                                                  size_t plane, std::shared_ptr<VideoTexture>& out) {
  const size_t bytesPerTexel = format == GL_RG ? 2 : 1;
  // GL ES has no texture that samples two planes as one.
  const bool interleave = image.pixelFormat() == PixelFormat::kI420 && plane == 1 && format == GL_RG;
  const size_t samplesPerTexel = interleave ? 1 : bytesPerTexel;
  if (plane >= image.planeCount() || type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0 ||
      static_cast<size_t>(width) * samplesPerTexel > image.bytesPerRowOfPlane(plane) ||
      static_cast<size_t>(height) > image.heightOfPlane(plane) || (format != GL_RED && format != GL_RG)) {
    return kVideoTextureCacheInvalidArgument;
  }
  const VideoTexture::Shape shape{target, internalFormat, width, height};
  GLuint name = 0;
  const auto reuse = std::find_if(reusable_.rbegin(), reusable_.rend(),
                                  [&](const Released& texture) { return texture.first == shape; });
  const bool refill = reuse != reusable_.rend();
  if (refill) {
    name = reuse->second;
    reusable_.erase(std::next(reuse).base());
  } else {
    glGenTextures(1, &name);
  }
  image.lockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  const uint8_t* pixels = interleave
                              ? interleavedChroma(image, static_cast<size_t>(width), static_cast<size_t>(height))
                              : std::as_const(image).baseAddressOfPlane(plane);
  glBindTexture(target, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, interleave ? width : static_cast<GLint>(image.bytesPerRowOfPlane(plane) / bytesPerTexel));
  if (refill) {
    glTexSubImage2D(target, 0, 0, 0, width, height, format, type, pixels);
  } else {
    glTexImage2D(target, 0, internalFormat, width, height, 0, format, type, pixels);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  image.unlockBaseAddress(PixelBuffer::LockFlags::kReadOnly);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    return kVideoTextureCacheAllocationFailed;
  }
  out.reset(new VideoTexture(shared_from_this(), shape, name));
  return kVideoTextureCacheOK;
}

const uint8_t* VideoTextureCache::interleavedChroma(const PixelBuffer& image, size_t width, size_t height) {
  interleaved_.resize(width * height * 2);
  const size_t stride = image.bytesPerRowOfPlane(1);
  const uint8_t* cbPlane = image.baseAddressOfPlane(1);
  const uint8_t* crPlane = image.baseAddressOfPlane(2);
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* cb = cbPlane + row * stride;
    const uint8_t* cr = crPlane + row * stride;
    uint8_t* out = interleaved_.data() + row * width * 2;
    for (size_t column = 0; column < width; ++column) {
      out[2 * column] = cb[column];
      out[2 * column + 1] = cr[column];
    }
  }
  return interleaved_.data();
}

void VideoTextureCache::giveBack(VideoTexture::Shape shape, GLuint name) {
  std::lock_guard lock(mutex_);
  released_.emplace_back(shape, name);
}

void VideoTextureCache::flush() {
  std::vector<Released> released;
  {
    std::lock_guard lock(mutex_);
    released.swap(released_);
  }
  reusable_.insert(reusable_.end(), released.begin(), released.end());
  if (reusable_.size() > kMaxReusable) {
    std::vector<Released> oldest(reusable_.begin(), reusable_.end() - kMaxReusable);
    reusable_.erase(reusable_.begin(), reusable_.end() - kMaxReusable);
    deleteAll(oldest);
  }
}

void VideoTextureCache::deleteAll(std::vector<Released>& textures) {
  std::vector<GLuint> names;
  names.reserve(textures.size());
  for (const Released& texture : textures) names.push_back(texture.second);
  if (!names.empty()) glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
  textures.clear();
}

}  // namespace plexora::platform

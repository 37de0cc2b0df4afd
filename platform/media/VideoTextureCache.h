// Turns the planes of decoded pixel buffers into OpenGL ES textures for the
// context the cache was made for.
//
// A texture's GL name is given back to the cache when the texture is
// released. The next flush(), which must run with the context current
// (textures are released wherever the renderer drops them), keeps the few
// latest for reuse and deletes the rest: a video uploads planes of the same
// sizes frame after frame, and refilling a texture spares the driver a new
// allocation per plane and frame.
//
// Thread safety: one thread at a time, with the cache's context current
// for createTextureFromImage and flush. Ownership: textures keep their
// cache alive; the cache deletes every name it still holds when destroyed,
// which must then also happen with the context current.
#pragma once

#include <GLES3/gl3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/media/GLContext.h"
#include "platform/media/PixelBuffer.h"

namespace plexora::platform {

inline constexpr int32_t kVideoTextureCacheOK = 0;
// No context, a plane the buffer lacks, or sizes that do not fit the plane.
inline constexpr int32_t kVideoTextureCacheInvalidArgument = -6661;
// GL refused the upload.
inline constexpr int32_t kVideoTextureCacheAllocationFailed = -6662;

class VideoTextureCache;

class VideoTexture final {
 public:
  ~VideoTexture();
  VideoTexture(const VideoTexture&) = delete;
  VideoTexture& operator=(const VideoTexture&) = delete;
  GLenum target() const { return target_; }
  GLuint name() const { return name_; }

 private:
  friend class VideoTextureCache;
  // What a texture was allocated as: a refill must match it.
  struct Shape {
    GLenum target;
    GLint internalFormat;
    GLsizei width;
    GLsizei height;
    bool operator==(const Shape&) const = default;
  };
  VideoTexture(std::shared_ptr<VideoTextureCache> cache, Shape shape, GLuint name)
      : cache_(std::move(cache)), shape_(shape), target_(shape.target), name_(name) {}

  std::shared_ptr<VideoTextureCache> cache_;
  Shape shape_;
  GLenum target_;
  GLuint name_;
};

class VideoTextureCache final : public std::enable_shared_from_this<VideoTextureCache> {
 public:
  // Fills `out` only on kVideoTextureCacheOK.
  static int32_t create(std::shared_ptr<GLContext> context, std::shared_ptr<VideoTextureCache>& out);
  ~VideoTextureCache();
  VideoTextureCache(const VideoTextureCache&) = delete;
  VideoTextureCache& operator=(const VideoTextureCache&) = delete;

  // A `width` by `height` texture of `plane`, bound to `target` on the
  // active texture unit. `format` GL_RED or GL_RG with GL_UNSIGNED_BYTE: one
  // or two bytes a texel. Plane 1 of a planar (I420) picture as GL_RG is
  // its Cb and Cr planes together, interleaved as in NV12.
  int32_t createTextureFromImage(PixelBuffer& image, GLenum target, GLint internalFormat, GLsizei width,
                                 GLsizei height, GLenum format, GLenum type, size_t plane,
                                 std::shared_ptr<VideoTexture>& out);
  // Keeps the latest textures released since the last flush for reuse
  // and deletes the others.
  void flush();

 private:
  friend class VideoTexture;
  explicit VideoTextureCache(std::shared_ptr<GLContext> context) : context_(std::move(context)) {}
  using Released = std::pair<VideoTexture::Shape, GLuint>;
  // Two planes of a frame and of the frame before it.
  static constexpr size_t kMaxReusable = 4;

  void giveBack(VideoTexture::Shape shape, GLuint name);
  // Deletes every name in the list and empties it.
  static void deleteAll(std::vector<Released>& textures);
  // The Cb and Cr planes of a planar picture interleaved, rows packed.
  const uint8_t* interleavedChroma(const PixelBuffer& image, size_t width, size_t height);

  std::shared_ptr<GLContext> context_;
  std::mutex mutex_;  // released names may come from any thread
  std::vector<Released> released_;
  std::vector<Released> reusable_;  // context side only, latest last
  std::vector<uint8_t> interleaved_;  // context side only
};

}  // namespace plexora::platform

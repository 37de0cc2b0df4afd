#include "util/OVAdImageContext.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/media/GLContext.h"
#include "platform/ui/Image.h"
#include "util/qnv/render/QNVGLProgram.h"

namespace plexora {
namespace {

constexpr const char* kVertexShader = R"(#version 100
attribute vec2 position;
attribute vec2 texCoord;
varying vec2 sampleAt;
void main() {
  gl_Position = vec4(position, 0.0, 1.0);
  sampleAt = texCoord;
}
)";

// Images are straight alpha; the blend adds premultiplied colour.
constexpr const char* kFragmentShader = R"(#version 100
precision mediump float;
uniform sampler2D picture;
varying vec2 sampleAt;
void main() {
  vec4 colour = texture2D(picture, sampleAt);
  gl_FragColor = vec4(colour.rgb * colour.a, colour.a);
}
)";

constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kTexCoordAttribute = 1;

bool isFiniteRect(const platform::Rect& rect) {
  return std::isfinite(rect.origin.x) && std::isfinite(rect.origin.y) && std::isfinite(rect.size.width) &&
         std::isfinite(rect.size.height);
}

}  // namespace

std::shared_ptr<OVAdImageContext> OVAdImageContext::create() {
  return std::shared_ptr<OVAdImageContext>(new OVAdImageContext(nullptr));
}

std::shared_ptr<OVAdImageContext> OVAdImageContext::createWithGLContext(
    std::shared_ptr<platform::GLContext> glContext) {
  if (!glContext) return nullptr;
  return std::shared_ptr<OVAdImageContext>(new OVAdImageContext(std::move(glContext)));
}

OVAdImageContext::OVAdImageContext(std::shared_ptr<platform::GLContext> glContext) : glContext_(std::move(glContext)) {}

OVAdImageContext::~OVAdImageContext() {
  if (!program_ && texture_ == 0) return;
  // The GL objects belong to the GL context: delete them with it current,
  // leaving the thread as it was.
  const bool wasCurrent = glContext_->isCurrent();
  if (!wasCurrent && !glContext_->makeCurrent()) return;
  program_.reset();
  if (texture_ != 0) glDeleteTextures(1, &texture_);
  if (!wasCurrent) platform::GLContext::clearCurrent();
}

std::shared_ptr<platform::Image> OVAdImageContext::createImage(const platform::Image& image,
                                                               platform::Rect fromRect) const {
  if (!isFiniteRect(fromRect)) return nullptr;
  const platform::Rect cut =
      fromRect.standardized().intersection(platform::Rect(0, 0, image.pixelWidth(), image.pixelHeight()));
  if (cut.isNull() || cut.isEmpty()) return nullptr;
  const auto left = static_cast<std::uint32_t>(std::floor(cut.minX()));
  const auto top = static_cast<std::uint32_t>(std::floor(cut.minY()));
  const auto right = static_cast<std::uint32_t>(std::ceil(cut.maxX()));
  const auto bottom = static_cast<std::uint32_t>(std::ceil(cut.maxY()));
  const std::uint32_t width = right - left;
  const std::uint32_t height = bottom - top;
  const std::size_t rowBytes = std::size_t{width} * platform::Image::kBytesPerPixel;
  platform::Bytes pixels(rowBytes * height);
  const auto source = image.rgba();
  const std::size_t sourceRowBytes = std::size_t{image.pixelWidth()} * platform::Image::kBytesPerPixel;
  for (std::uint32_t row = 0; row < height; ++row) {
    std::memcpy(pixels.data() + row * rowBytes,
                source.data() + (top + row) * sourceRowBytes + std::size_t{left} * platform::Image::kBytesPerPixel,
                rowBytes);
  }
  return platform::Image::fromRGBA(width, height, image.scale(), std::move(pixels));
}

bool OVAdImageContext::prepareProgram() {
  if (program_) return program_->initialized();
  program_ = QNVGLProgram::initWithVertexShader(kVertexShader, kFragmentShader);
  if (!program_->initialized()) return false;
  program_->addAttribute("position");
  program_->addAttribute("texCoord");
  return program_->link();
}

bool OVAdImageContext::drawImage(const platform::Image& image, platform::Rect inRect, platform::Rect fromRect) {
  if (!glContext_ || !glContext_->isCurrent()) return false;
  if (!isFiniteRect(inRect) || !isFiniteRect(fromRect) || inRect.isEmpty() || fromRect.isEmpty()) return false;
  GLint maxTextureSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
  if (image.pixelWidth() > static_cast<std::uint32_t>(maxTextureSize) ||
      image.pixelHeight() > static_cast<std::uint32_t>(maxTextureSize)) {
    return false;
  }
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (viewport[2] <= 0 || viewport[3] <= 0) return false;
  if (!prepareProgram()) return false;

  if (texture_ == 0) glGenTextures(1, &texture_);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(image.pixelWidth()),
               static_cast<GLsizei>(image.pixelHeight()), 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba().data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

  // Clip space has y up; the texture's first row is the image's top.
  const auto clipX = [&](double x) { return static_cast<GLfloat>(2.0 * x / viewport[2] - 1.0); };
  const auto clipY = [&](double y) { return static_cast<GLfloat>(1.0 - 2.0 * y / viewport[3]); };
  const double imageWidth = image.pixelWidth();
  const double imageHeight = image.pixelHeight();
  const auto u = [&](double x) { return static_cast<GLfloat>(x / imageWidth); };
  const auto v = [&](double y) { return static_cast<GLfloat>(y / imageHeight); };
  const platform::Rect to = inRect.standardized();
  const platform::Rect from = fromRect.standardized();
  const std::array<GLfloat, 8> positions = {clipX(to.minX()), clipY(to.minY()), clipX(to.maxX()), clipY(to.minY()),
                                            clipX(to.minX()), clipY(to.maxY()), clipX(to.maxX()), clipY(to.maxY())};
  const std::array<GLfloat, 8> texCoords = {u(from.minX()), v(from.minY()), u(from.maxX()), v(from.minY()),
                                            u(from.minX()), v(from.maxY()), u(from.maxX()), v(from.maxY())};

  program_->use();
  glUniform1i(program_->uniformIndex("picture"), 0);
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glVertexAttribPointer(kPositionAttribute, 2, GL_FLOAT, GL_FALSE, 0, positions.data());
  glEnableVertexAttribArray(kPositionAttribute);
  glVertexAttribPointer(kTexCoordAttribute, 2, GL_FLOAT, GL_FALSE, 0, texCoords.data());
  glEnableVertexAttribArray(kTexCoordAttribute);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisable(GL_BLEND);
  glDisableVertexAttribArray(kPositionAttribute);
  glDisableVertexAttribArray(kTexCoordAttribute);
  glBindTexture(GL_TEXTURE_2D, 0);
  return glGetError() == GL_NO_ERROR;
}

}  // namespace plexora

#include "util/qnv/render/QNVDefaultRenderer.h"

#include <algorithm>

#include "util/OVAdLogger.h"

namespace plexora {

const QNVColorConversion kQNVColorConversion709 = {
    {1.164f, 1.164f, 1.164f, 0.0f, -0.213f, 2.112f, 1.793f, -0.533f, 0.0f}, 16.0f / 255.0f};
const QNVColorConversion kQNVColorConversion601 = {
    {1.164f, 1.164f, 1.164f, 0.0f, -0.392f, 2.017f, 1.596f, -0.813f, 0.0f}, 16.0f / 255.0f};
const QNVColorConversion kQNVColorConversion709FullRange = {
    {1.0f, 1.0f, 1.0f, 0.0f, -0.187324f, 1.8556f, 1.5748f, -0.468124f, 0.0f}, 0.0f};
const QNVColorConversion kQNVColorConversion601FullRange = {
    {1.0f, 1.0f, 1.0f, 0.0f, -0.344136f, 1.772f, 1.402f, -0.714136f, 0.0f}, 0.0f};

namespace {

constexpr const char* kVertexShader =
    "attribute vec4 position; attribute vec2 texCoord; uniform float preferredRotation; varying vec2 "
    "texCoordVarying; void main() { mat4 rotationMatrix = mat4( cos(preferredRotation), -sin(preferredRotation), "
    "0.0, 0.0, sin(preferredRotation), cos(preferredRotation), 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0); "
    "gl_Position = position * rotationMatrix; texCoordVarying = texCoord; }";
constexpr const char* kFragmentShader =
    "varying highp vec2 texCoordVarying; precision mediump float; uniform sampler2D SamplerY; uniform sampler2D "
    "SamplerUV; uniform mat3 colorConversionMatrix; uniform float lumaOffset; void main() { mediump vec3 yuv; "
    "lowp vec3 rgb; yuv.x = (texture2D(SamplerY, texCoordVarying).r - lumaOffset); yuv.yz = (texture2D(SamplerUV, texCoordVarying).rg - "
    "vec2(0.5, 0.5)); rgb = colorConversionMatrix * yuv; gl_FragColor = vec4(rgb,1); }";
constexpr const char* kCompileFailedFormat = "Failed to compile shaders: vertex[%s] fragment[%s]";
constexpr const char* kLinkFailedFormat = "Failed to link program: %s";
constexpr GLsizei kVertexStride = 4 * sizeof(GLfloat);
constexpr GLsizei kVertexCount = 4;

}  // namespace

QNVDefaultRenderer::~QNVDefaultRenderer() {
  if (vertexBuffer_ != 0) glDeleteBuffers(1, &vertexBuffer_);
  if (vertexArrayObject_ != 0) glDeleteVertexArrays(1, &vertexArrayObject_);
}

bool QNVDefaultRenderer::setupGLState() {
  if (!glProgram_ && !loadShaders()) return false;
  if (vertexArrayObject_ == 0) setupBuffers();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glBindVertexArray(vertexArrayObject_);
  glProgram_->use();
  return true;
}

void QNVDefaultRenderer::setupBuffers() {
  glGenVertexArrays(1, &vertexArrayObject_);
  glGenBuffers(1, &vertexBuffer_);
}

bool QNVDefaultRenderer::loadShaders() {
  auto program = QNVGLProgram::initWithVertexShader(kVertexShader, kFragmentShader);
  if (!program->initialized()) {
    OV_LOG(kOVAdLogLevelDebug, kCompileFailedFormat, program->vertexShaderLog().c_str(),
           program->fragmentShaderLog().c_str());
    return false;
  }
  if (program->addAttribute("position") != 0 || program->addAttribute("texCoord") != 1) return false;
  if (!program->link() || !program->validate()) {
    OV_LOG(kOVAdLogLevelDebug, kLinkFailedFormat, program->programLog().c_str());
    return false;
  }
  uniforms_[kSamplerY] = program->uniformIndex("SamplerY");
  uniforms_[kSamplerUV] = program->uniformIndex("SamplerUV");
  uniforms_[kPreferredRotation] = program->uniformIndex("preferredRotation");
  uniforms_[kColorConversionMatrix] = program->uniformIndex("colorConversionMatrix");
  uniforms_[kLumaOffset] = program->uniformIndex("lumaOffset");
  program->use();
  glUniform1i(uniforms_[kSamplerY], 0);
  glUniform1i(uniforms_[kSamplerUV], 1);
  glProgram_ = std::move(program);
  return true;
}

bool QNVDefaultRenderer::drawFrame(bool layoutChanged, platform::Size presentationRect, GLint backingWidth,
                                   GLint backingHeight, GLuint /*frameBuffer*/, const std::string& videoGravity,
                                   double rotation, platform::Rect layerBounds,
                                   const platform::AffineTransform& transform,
                                   const QNVColorConversion* colorConversion) {
  if (backingWidth != backingWidth_ || backingHeight != backingHeight_) {
    glViewport(0, 0, backingWidth, backingHeight);
    backingWidth_ = backingWidth;
    backingHeight_ = backingHeight;
  }
  glClear(GL_COLOR_BUFFER_BIT);
  if (rotation != rotation_) {
    glUniform1f(uniforms_[kPreferredRotation], static_cast<GLfloat>(rotation));
    rotation_ = rotation;
  }
  if (colorConversion != colorConversion_ && colorConversion != nullptr) {
    glUniformMatrix3fv(uniforms_[kColorConversionMatrix], 1, GL_FALSE, colorConversion->matrix);
    glUniform1f(uniforms_[kLumaOffset], colorConversion->lumaOffset);
    colorConversion_ = colorConversion;
  }
  if (layoutChanged && !updateVertexArrayWithPresentationRect(presentationRect, videoGravity, layerBounds, transform)) {
    return false;
  }
  glDrawArrays(GL_TRIANGLE_STRIP, 0, kVertexCount);
  return true;
}

bool QNVDefaultRenderer::quadScale(platform::Size presentationRect, const std::string& videoGravity,
                                   platform::Rect layerBounds, const platform::AffineTransform& transform, float& sx,
                                   float& sy) {
  const platform::Rect bounds = transform.applyTo(layerBounds);
  const double width = bounds.size.width;
  const double height = bounds.size.height;
  // Nothing to scale into, or nothing to scale: no quad rather than a
  // division by zero.
  if (!(width > 0) || !(height > 0) || !(presentationRect.width > 0) || !(presentationRect.height > 0)) return false;
  if (videoGravity == kQNVVideoGravityResizeAspect) {
    const double scale = std::min(width / presentationRect.width, height / presentationRect.height);
    sx = static_cast<float>(presentationRect.width * scale / width);
    sy = static_cast<float>(presentationRect.height * scale / height);
  } else if (videoGravity == kQNVVideoGravityResizeAspectFill) {
    const double rw = presentationRect.width / width;
    const double rh = presentationRect.height / height;
    sx = rh <= rw ? static_cast<float>(rw / rh) : 1.0f;
    sy = rh <= rw ? 1.0f : static_cast<float>(rh / rw);
  } else {
    sx = 1.0f;
    sy = 1.0f;
  }
  return true;
}

bool QNVDefaultRenderer::updateVertexArrayWithPresentationRect(platform::Size presentationRect,
                                                               const std::string& videoGravity,
                                                               platform::Rect layerBounds,
                                                               const platform::AffineTransform& transform) {
  float sx = 1.0f;
  float sy = 1.0f;
  if (!quadScale(presentationRect, videoGravity, layerBounds, transform, sx, sy)) return false;
  const GLfloat quad[kVertexCount * 4] = {sx, -sy, 1, 1, sx, sy, 1, 0, -sx, -sy, 0, 1, -sx, sy, 0, 0};
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  configureVertexAttributes();
  return true;
}

void QNVDefaultRenderer::configureVertexAttributes() {
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, kVertexStride, nullptr);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kVertexStride, reinterpret_cast<const void*>(2 * sizeof(GLfloat)));
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void QNVDefaultRenderer::restoreGLState() { glBindVertexArray(0); }

}  // namespace plexora

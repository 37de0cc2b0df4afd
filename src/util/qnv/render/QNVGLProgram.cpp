#include "util/qnv/render/QNVGLProgram.h"

#include <algorithm>

namespace plexora {

namespace {
constexpr const char* kVertexCompileFailed = "Failed to compile vertex shader";
constexpr const char* kFragmentCompileFailed = "Failed to compile fragment shader";
}  // namespace

std::unique_ptr<QNVGLProgram> QNVGLProgram::initWithVertexShader(const char* vertexShader,
                                                                 const char* fragmentShader) {
  std::unique_ptr<QNVGLProgram> program(new QNVGLProgram());
  program->program_ = glCreateProgram();
  if (!compileShader(program->vertexShader_, GL_VERTEX_SHADER, vertexShader, program->vertexShaderLog_)) {
    if (program->vertexShaderLog_.empty()) program->vertexShaderLog_ = kVertexCompileFailed;
    program->vertexShader_ = 0;
    return program;
  }
  if (!compileShader(program->fragmentShader_, GL_FRAGMENT_SHADER, fragmentShader, program->fragmentShaderLog_)) {
    if (program->fragmentShaderLog_.empty()) program->fragmentShaderLog_ = kFragmentCompileFailed;
    program->fragmentShader_ = 0;
    return program;
  }
  glAttachShader(program->program_, program->vertexShader_);
  glAttachShader(program->program_, program->fragmentShader_);
  program->initialized_ = true;
  return program;
}

QNVGLProgram::~QNVGLProgram() {
  deleteShaders();
  if (program_ != 0) glDeleteProgram(program_);
}

bool QNVGLProgram::compileShader(GLuint& shader, GLenum type, const char* source, std::string& log) {
  if (source == nullptr) return false;
  shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint status = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  if (status == GL_TRUE) return true;
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  if (length > 0) {
    std::string text(static_cast<size_t>(length), '\0');
    glGetShaderInfoLog(shader, length, nullptr, text.data());
    log = text.c_str();
  }
  glDeleteShader(shader);
  return false;
}

void QNVGLProgram::readProgramLog() {
  GLint length = 0;
  glGetProgramiv(program_, GL_INFO_LOG_LENGTH, &length);
  if (length <= 0) return;
  std::string text(static_cast<size_t>(length), '\0');
  glGetProgramInfoLog(program_, length, nullptr, text.data());
  programLog_ = text.c_str();
}

void QNVGLProgram::deleteShaders() {
  for (GLuint* shader : {&vertexShader_, &fragmentShader_}) {
    if (*shader == 0) continue;
    if (program_ != 0) glDetachShader(program_, *shader);
    glDeleteShader(*shader);
    *shader = 0;
  }
}

bool QNVGLProgram::link() {
  if (!initialized_) return false;
  glLinkProgram(program_);
  GLint status = GL_FALSE;
  glGetProgramiv(program_, GL_LINK_STATUS, &status);
  if (status != GL_TRUE) {
    readProgramLog();
    deleteShaders();
    glDeleteProgram(program_);
    program_ = 0;
    initialized_ = false;
    return false;
  }
  deleteShaders();
  return true;
}

bool QNVGLProgram::validate() {
  if (!initialized_) return false;
  glValidateProgram(program_);
  GLint status = GL_FALSE;
  glGetProgramiv(program_, GL_VALIDATE_STATUS, &status);
  if (status == GL_TRUE) return true;
  readProgramLog();
  glDeleteProgram(program_);
  program_ = 0;
  initialized_ = false;
  return false;
}

uint32_t QNVGLProgram::addAttribute(const std::string& name) {
  if (!initialized_) return 0;
  auto found = std::find(attributes_.begin(), attributes_.end(), name);
  if (found == attributes_.end()) {
    attributes_.push_back(name);
    found = attributes_.end() - 1;
    glBindAttribLocation(program_, static_cast<GLuint>(found - attributes_.begin()), name.c_str());
  }
  return static_cast<uint32_t>(found - attributes_.begin());
}

GLint QNVGLProgram::uniformIndex(const char* name) const {
  if (!initialized_) return kQNVGLProgramNoLocation;
  return glGetUniformLocation(program_, name);
}

void QNVGLProgram::use() const {
  if (initialized_) glUseProgram(program_);
}

}  // namespace plexora

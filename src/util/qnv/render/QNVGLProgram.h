// A GLES shader program made from a vertex and a fragment shader source:
// compiled at creation, then linked and validated; attributes are bound to
// their position in the order added.
//
// Thread safety: the thread with the program's GL context current.
// Ownership: the program deletes its GL objects when released (with its
// context current).
#pragma once

#include <GLES3/gl3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plexora {

// The location uniformIndex answers for a program that is not initialised:
// one no uniform can have, so nothing is set by mistake.
inline constexpr GLint kQNVGLProgramNoLocation = -1;

class QNVGLProgram final {
 public:
  static std::unique_ptr<QNVGLProgram> initWithVertexShader(const char* vertexShader, const char* fragmentShader);
  ~QNVGLProgram();
  QNVGLProgram(const QNVGLProgram&) = delete;
  QNVGLProgram& operator=(const QNVGLProgram&) = delete;

  bool link();
  bool validate();
  // The attribute's location (its position in the order added; a name
  // added again keeps its first); 0 when not initialised.
  uint32_t addAttribute(const std::string& name);
  GLint uniformIndex(const char* name) const;
  void use() const;
  bool initialized() const { return initialized_; }
  const std::string& vertexShaderLog() const { return vertexShaderLog_; }
  const std::string& fragmentShaderLog() const { return fragmentShaderLog_; }
  const std::string& programLog() const { return programLog_; }

 private:
  QNVGLProgram() = default;
  static bool compileShader(GLuint& shader, GLenum type, const char* source, std::string& log);
  void readProgramLog();
  void deleteShaders();

  std::vector<std::string> attributes_;
  GLuint program_ = 0;
  GLuint vertexShader_ = 0;
  GLuint fragmentShader_ = 0;
  bool initialized_ = false;
  std::string vertexShaderLog_;
  std::string fragmentShaderLog_;
  std::string programLog_;
};

}  // namespace plexora

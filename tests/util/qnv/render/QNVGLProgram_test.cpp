// The shader program on a real GLES context: compile failures, attribute
// locations and the location a failed program answers.
#include <gtest/gtest.h>

#include "platform/media/GLContext.h"
#include "util/qnv/render/QNVGLProgram.h"

namespace plexora {
namespace {

constexpr const char* kVertex = "attribute vec4 position; attribute vec2 texCoord; varying vec2 v; uniform float k; "
                                "void main() { gl_Position = position * k; v = texCoord; }";
constexpr const char* kFragment = "precision mediump float; varying vec2 v; void main() { gl_FragColor = vec4(v, 0, 1); }";

class QNVGLProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = platform::GLContext::create();
    ASSERT_NE(context_, nullptr);
    ASSERT_TRUE(context_->makeCurrent());
  }
  void TearDown() override { platform::GLContext::clearCurrent(); }
  std::shared_ptr<platform::GLContext> context_;
};

TEST_F(QNVGLProgramTest, AttributesKeepTheirFirstLocationAndUniformsResolve) {
  auto program = QNVGLProgram::initWithVertexShader(kVertex, kFragment);
  ASSERT_TRUE(program->initialized());
  EXPECT_EQ(program->addAttribute("position"), 0U);
  EXPECT_EQ(program->addAttribute("texCoord"), 1U);
  EXPECT_EQ(program->addAttribute("position"), 0U);
  ASSERT_TRUE(program->link());
  ASSERT_TRUE(program->validate());
  EXPECT_GE(program->uniformIndex("k"), 0);
  EXPECT_EQ(program->uniformIndex("absent"), -1);
}

TEST_F(QNVGLProgramTest, FailedCompileLeavesALogAndNoUsableLocation) {
  struct Case {
    const char* name;
    const char* vertex;
    const char* fragment;
    bool vertexLog;
    bool fragmentLog;
  };
  const Case cases[] = {
      {"broken_vertex", "void main() { nonsense }", kFragment, true, false},
      {"broken_fragment", kVertex, "void main() { gl_FragColor = ; }", false, true},
      {"missing_vertex_source", nullptr, kFragment, true, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    auto program = QNVGLProgram::initWithVertexShader(test.vertex, test.fragment);
    EXPECT_FALSE(program->initialized());
    EXPECT_EQ(!program->vertexShaderLog().empty(), test.vertexLog);
    EXPECT_EQ(!program->fragmentShaderLog().empty(), test.fragmentLog);
    EXPECT_EQ(program->addAttribute("position"), 0U);
    EXPECT_FALSE(program->link());
    // Not 0: a program that failed must not set whatever uniform sits there.
    EXPECT_EQ(program->uniformIndex("k"), kQNVGLProgramNoLocation);
  }
}

}  // namespace
}  // namespace plexora

// What the engine writes into the host's own output: a headless engine has
// no accessibility bridge, so it must not complain about the missing bus on
// the host's standard error (it did, once per process, at the first page).
// ctest runs each test in a process of its own, so the page loaded here is
// the process's first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/web/WebView.h"
#include "web/engine/WebEngineTestSupport.h"

namespace plexora::platform {
namespace {

constexpr const char* kAccessibilityBusWarning = "Could not determine the accessibility bus address";

// Standard error (of this process and of the helper processes it starts)
// goes to a temporary file while the capture lives.
class StandardErrorCapture final {
 public:
  StandardErrorCapture() : file_(std::tmpfile()), saved_(::dup(STDERR_FILENO)) {
    std::fflush(stderr);
    if (file_ != nullptr) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~StandardErrorCapture() {
    restore();
    if (file_ != nullptr) std::fclose(file_);
  }
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

  bool capturing() const { return file_ != nullptr && saved_ >= 0; }

  // Everything written so far; standard error is back in place afterwards.
  std::string stop() {
    restore();
    std::string text;
    if (file_ == nullptr) return text;
    std::rewind(file_);
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text.append(buffer, read);
    return text;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }

  std::FILE* file_;
  int saved_;
};

TEST(WebEngineOutputTest, StartingTheEngineAndLoadingAPageSaysNothingAboutAnAccessibilityBus) {
  StandardErrorCapture capture;
  ASSERT_TRUE(capture.capturing());
  const auto delegate = std::make_shared<testing::RecordingNavigationDelegate>();
  const std::shared_ptr<WebView> view = makeWebView();
  view->setNavigationDelegate(delegate);
  view->loadHTMLString("<html><body><p>An ad</p></body></html>", "http://127.0.0.1/");
  const bool settled = testing::waitFor([&] { return delegate->finished > 0 || !delegate->failures.empty(); });
  const std::string output = capture.stop();
  ASSERT_TRUE(settled);
  EXPECT_EQ(delegate->finished, 1);
  EXPECT_EQ(output.find(kAccessibilityBusWarning), std::string::npos) << output;
}

}  // namespace
}  // namespace plexora::platform

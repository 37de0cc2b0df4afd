#include "platform/foundation/Log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Files.h"
#include "support/TempDir.h"

namespace plexora::platform {
namespace {

// Sends standard error to a file for the life of the object.
class StandardErrorCapture {
 public:
  explicit StandardErrorCapture(std::string path) : path_(std::move(path)) {
    saved_ = ::dup(STDERR_FILENO);
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~StandardErrorCapture() { restore(); }
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

  std::string finish() {
    restore();
    const Bytes bytes = readFile(path_).value_or(Bytes());
    return std::string(bytes.begin(), bytes.end());
  }

 private:
  void restore() {
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
  }

  std::string path_;
  int saved_ = -1;
};

class LogTest : public ::testing::Test {
 protected:
  ~LogTest() override { setLogSink(nullptr); }
  testing::TempDir dir_;
};

TEST_F(LogTest, StandardErrorLinesCarryASystemLogPrefix) {
  StandardErrorCapture capture((dir_ / "stderr").string());
  logLine("first line");
  logLine("second line\n");
  const std::string written = capture.finish();

  const std::string prefix = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} " +
                             std::string(program_invocation_short_name) + "\\[" + std::to_string(::getpid()) +
                             ":[0-9]+\\] ";
  EXPECT_TRUE(std::regex_match(written, std::regex(prefix + "first line\n" + prefix + "second line\n")))
      << written;
}

TEST_F(LogTest, SinkReceivesLinesUntilRemoved) {
  std::vector<std::string> lines;
  setLogSink([&](std::string_view line) { lines.emplace_back(line); });
  logLine("captured");

  StandardErrorCapture capture((dir_ / "stderr").string());
  setLogSink(nullptr);
  logLine("back on stderr");
  const std::string written = capture.finish();

  EXPECT_EQ(lines, std::vector<std::string>{"captured"});
  EXPECT_NE(written.find("back on stderr"), std::string::npos);
}

TEST_F(LogTest, LoggingFromInsideTheSinkDoesNotRecurse) {
  std::vector<std::string> lines;
  setLogSink([&](std::string_view line) {
    lines.emplace_back(line);
    logLine("from the sink");
  });
  StandardErrorCapture capture((dir_ / "stderr").string());
  logLine("outer");
  const std::string written = capture.finish();

  EXPECT_EQ(lines, std::vector<std::string>{"outer"});
  EXPECT_NE(written.find("from the sink"), std::string::npos);
}

TEST_F(LogTest, SinkCallsFromManyThreadsAreSerialised) {
  std::vector<std::string> lines;  // deliberately unguarded
  setLogSink([&](std::string_view line) { lines.emplace_back(line); });
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) {
        logLine("line");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  setLogSink(nullptr);
  EXPECT_EQ(lines.size(), 1600u);
}

}  // namespace
}  // namespace plexora::platform

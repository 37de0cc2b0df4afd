#include "platform/foundation/Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace plexora::platform {
namespace {

struct SinkState {
  std::mutex mutex;
  LogSink sink;
};

SinkState& sinkState() {
  static SinkState state;
  return state;
}

thread_local bool insideSink = false;

std::string prefix() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  char text[256];
  std::snprintf(text, sizeof text, "%s.%03ld %s[%d:%ld] ", stamp, now.tv_nsec / 1000000L,
                program_invocation_short_name, static_cast<int>(::getpid()), static_cast<long>(::syscall(SYS_gettid)));
  return text;
}

// One write() per line keeps lines of concurrent threads whole.
void writeToStandardError(std::string_view line) {
  std::string text = prefix();
  text.append(line);
  if (text.empty() || text.back() != '\n') {
    text += '\n';
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t result = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) {
      continue;
    }
    if (result <= 0) {
      return;
    }
    written += static_cast<std::size_t>(result);
  }
}

}  // namespace

void logLine(std::string_view line) {
  if (!insideSink) {
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    if (state.sink) {
      struct Reentry {
        Reentry() { insideSink = true; }
        ~Reentry() { insideSink = false; }
      } reentry;
      state.sink(line);
      return;
    }
  }
  writeToStandardError(line);
}

void setLogSink(LogSink sink) {
  SinkState& state = sinkState();
  std::lock_guard lock(state.mutex);
  state.sink = std::move(sink);
}

}  // namespace plexora::platform

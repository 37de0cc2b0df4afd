#include "util/qnv/core/QNVSoftAssertion.h"

#include <execinfo.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/foundation/Log.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kPausedFormat = "Paused in the debugger at %s.\nReason on next line:";
constexpr const char* kYouCanContinue = "You can continue.";
constexpr const char* kErrorInQNV = "This is an error in QNV. If you don't want to see this error any more, fix it ;)";
constexpr int kMaxStackFrames = 64;
constexpr size_t kMaxReasonLength = 1024;

std::atomic<QNVSoftAssertionHandler> installedHandler{&QNVLogSoftAssertionUnderDebugger};

std::string callStackSymbols() {
  void* frames[kMaxStackFrames];
  const int count = ::backtrace(frames, kMaxStackFrames);
  char** symbols = ::backtrace_symbols(frames, count);
  std::string text = "(";
  for (int i = 0; symbols != nullptr && i < count; ++i) {
    text += "\n    ";
    text += symbols[i];
  }
  std::free(symbols);
  return text + "\n)";
}

}  // namespace

void QNVLogSoftAssertionUnderDebugger(const QNVSoftAssertion& assertion) {
  if (!QNVIsDebuggerAttached()) return;
  char paused[4096];
  std::snprintf(paused, sizeof paused, kPausedFormat, callStackSymbols().c_str());
  platform::logLine(paused);
  platform::logLine(assertion.reason);
  platform::logLine(std::string(kYouCanContinue) + " " + kErrorInQNV);
  std::raise(SIGTRAP);
}

QNVSoftAssertionHandler QNVSetSoftAssertionHandler(QNVSoftAssertionHandler handler) {
  return installedHandler.exchange(handler != nullptr ? handler : &QNVLogSoftAssertionUnderDebugger);
}

void QNVSoftAssertionFailed(const char* check, const char* file, int line, const char* format, ...) {
  char reason[kMaxReasonLength];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(reason, sizeof reason, format, arguments);
  va_end(arguments);
  installedHandler.load()(QNVSoftAssertion{check, file, line, reason});
}

}  // namespace plexora

// The engine's soft assertions: a checked invariant that never changes what
// the code does next. A failed one goes to the installed handler; the
// default handler speaks only when a debugger is attached (it logs where and
// why and stops there) and is silent otherwise. Either way the caller goes on
// with its fallback. Test programs install a handler that fails the test
// that broke the invariant.
//
// Thread safety: assertions fail on any thread, and the handler is called on
// the failing thread; installing a handler may race with failing ones, each
// failure sees either the old or the new handler.
// Ownership: handlers are plain functions; nothing is owned.
#pragma once

#include <string>

namespace plexora {

// One failed assertion: the checked condition as written, where it is, and
// the formatted reason.
struct QNVSoftAssertion {
  const char* check;
  const char* file;
  int line;
  std::string reason;
};

using QNVSoftAssertionHandler = void (*)(const QNVSoftAssertion& assertion);

// The handler of a release host: under a debugger it logs the call stack and
// the reason and stops in the debugger; without one it does nothing.
void QNVLogSoftAssertionUnderDebugger(const QNVSoftAssertion& assertion);

// Installs `handler` (nullptr puts the logging one back) and answers the one
// it replaces.
QNVSoftAssertionHandler QNVSetSoftAssertionHandler(QNVSoftAssertionHandler handler);

// Formats the reason and hands the failure to the installed handler.
void QNVSoftAssertionFailed(const char* check, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace plexora

// Development builds check; release builds leave the check out, and the
// code after it runs either way. The reason says what the check expects.
#ifdef NDEBUG
#define QNV_SOFT_ASSERT(condition, ...) ((void)0)
#else
#define QNV_SOFT_ASSERT(condition, ...)                                                           \
  do {                                                                                            \
    if (!(condition)) ::plexora::QNVSoftAssertionFailed(#condition, __FILE__, __LINE__, __VA_ARGS__); \
  } while (0)
#endif

#include "platform/dispatch/MainLoopGLib.h"

#include <glib.h>

#include <vector>

namespace plexora::platform::detail {

namespace {

// Enough descriptors for the engine's usual sources; grown when the context
// asks for more.
constexpr std::size_t kInitialPollFdCount = 16;

// The shorter of two poll timeouts, -1 meaning no limit.
int shorterTimeout(int first, int second) {
  if (first < 0) {
    return second;
  }
  if (second < 0) {
    return first;
  }
  return first < second ? first : second;
}

}  // namespace

bool iterateGLibContext(const SteadyDeadline& deadline, std::initializer_list<int> wakeFds) {
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) {
    return false;
  }
  gint maxPriority = 0;
  const bool sourceReady = g_main_context_prepare(context, &maxPriority);

  std::vector<GPollFD> fds(kInitialPollFdCount);
  gint contextTimeout = -1;
  gint contextFdCount = 0;
  for (;;) {
    contextFdCount =
        g_main_context_query(context, maxPriority, &contextTimeout, fds.data(), static_cast<gint>(fds.size()));
    if (static_cast<std::size_t>(contextFdCount) <= fds.size()) {
      break;
    }
    fds.resize(static_cast<std::size_t>(contextFdCount));
  }
  fds.resize(static_cast<std::size_t>(contextFdCount));
  for (int fd : wakeFds) {
    if (fd >= 0) {
      fds.push_back(GPollFD{fd, G_IO_IN, 0});
    }
  }

  const int timeout = sourceReady ? 0 : shorterTimeout(contextTimeout, pollTimeoutUntil(deadline));
  g_poll(fds.data(), static_cast<guint>(fds.size()), timeout);
  if (g_main_context_check(context, maxPriority, fds.data(), contextFdCount)) {
    g_main_context_dispatch(context);
  }
  g_main_context_release(context);
  return true;
}

}  // namespace plexora::platform::detail

#include "platform/dispatch/MainThreadCheck.h"

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

namespace {

constexpr const char* kOffMainThreadMessage =
    "%s called off the main thread: the ad library's public calls are main-thread only\n";

}  // namespace

// Kept in release builds too: the price is one thread-local read, and a
// host's stray call otherwise races the main loop's state unseen.
void requireMainThread(const char* call) {
  if (!DispatchQueue::isMainThread()) {
    std::fprintf(stderr, kOffMainThreadMessage, call);
    std::fflush(stderr);
    std::abort();
  }
}

}  // namespace plexora::platform

#include "platform/dispatch/MainThreadCheck.h"

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

namespace {

[[maybe_unused]] constexpr const char* kOffMainThreadMessage =
    "%s called off the main thread: the ad library's public calls are main-thread only\n";

}  // namespace

void requireMainThread([[maybe_unused]] const char* call) {
#ifndef NDEBUG
  if (!DispatchQueue::isMainThread()) {
    std::fprintf(stderr, kOffMainThreadMessage, call);
    std::fflush(stderr);
    std::abort();
  }
#endif
}

}  // namespace plexora::platform

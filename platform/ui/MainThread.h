// The UI model is main-thread-only: debug builds stop at the first call
// made from another thread.
#pragma once

#include <cassert>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

inline void assertMainThread() {
  assert(DispatchQueue::isMainThread() && "the UI model is used from the main thread only");
}

}  // namespace plexora::platform

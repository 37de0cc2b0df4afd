// Helpers for code that runs in a forked child (death tests, crash tests).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace plexora::testing {

// A forked child holds only the forking thread; memory that the parent's
// other threads own looks leaked to LeakSanitizer when the child exits.
// Call this in the child before it exits normally.
inline void disableLeakCheckInForkedChild() {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();
#endif
}

}  // namespace plexora::testing

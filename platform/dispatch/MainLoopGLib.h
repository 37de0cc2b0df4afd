// One bounded iteration of the GLib main context the web engine runs on (the
// process's default context), for MainLoop and for the engine's nested waits.
//
// Thread safety: main thread only. The context is acquired for the step and
// released after it, so a nested step (a synchronous script evaluation run
// from a main-queue task) may iterate it again.
#pragma once

#include <initializer_list>

#include "platform/dispatch/RealTimeWait.h"

namespace plexora::platform::detail {

// Waits until a source of the context is ready, one of `wakeFds` is readable
// or the deadline passes (no deadline: forever), then dispatches the ready
// sources. Answers false when another thread owns the context and nothing
// could be done.
bool iterateGLibContext(const SteadyDeadline& deadline, std::initializer_list<int> wakeFds);

}  // namespace plexora::platform::detail

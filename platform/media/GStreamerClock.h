// A GStreamer clock that reads and waits on the platform's Clock, so a
// system-player pipeline paces its frames by the same time as every other
// timer of the library (and by a ManualClock in tests). Internal time is the
// captured clock's monotonic time in nanoseconds; a wait is a wakeup
// scheduled on that clock.
//
// Thread safety: GStreamer calls the clock from its streaming threads; the
// waits of all of them share one lock and condition, woken by the platform
// clock's wakeups (which only notify).
// Ownership: the pipeline that uses the clock holds a GStreamer reference
// to it; the clock holds the platform clock it was made with.
#pragma once

#include <gst/gst.h>

#include <memory>

#include "platform/dispatch/Clock.h"

namespace plexora::platform {

// A new clock (one GStreamer reference, the caller's) on `clock`. GStreamer
// must be initialised.
GstClock* makeGStreamerClock(std::shared_ptr<Clock> clock);

}  // namespace plexora::platform

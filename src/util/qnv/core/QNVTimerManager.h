// Wall-clock timers for the engine parts that need them (the decoders the
// player layer makes, the DASH playlist loader), behind an interface so
// that their users can be given another factory.
//
// A timer is made suspended; its owner resumes it. pause() and resume()
// alternate, starting with resume(). A fire-once timer ticks once, one
// interval after it was made (once resumed); a repeating one every
// interval. Ticks run the block on the queue given at creation.
//
// Thread safety: every member may be called from any thread.
// Ownership: the timer holds its block and queue; releasing it stops it, in
// any state (running, paused or never resumed).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

class QNVTimer {
 public:
  virtual ~QNVTimer() = default;
  virtual void resume() = 0;
  virtual void pause() = 0;
};

class QNVTimerManager {
 public:
  virtual ~QNVTimerManager() = default;
  virtual std::shared_ptr<QNVTimer> createTimerWithInterval(uint64_t intervalNanoseconds, bool fireOnce,
                                                            platform::DispatchQueuePtr queue,
                                                            std::function<void()> block) = 0;
};

}  // namespace plexora

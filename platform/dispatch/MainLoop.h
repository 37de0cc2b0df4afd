// The main loop that serves the main queue.
//
// The host application runs it on its main thread (run(), or runOnce() from
// its own loop); tests pump it with runUntil(). Main-queue tasks run only
// here, so UI-model state and delegate callbacks stay on one thread.
//
// Once the web engine has started it calls hostGLibContext(): from then on
// every run(), runOnce() and runUntil() also iterates the process's default
// GLib main context (the engine's) between batches of tasks, waiting on both
// at once, so the engine's callbacks arrive on this thread like every other.
// Each pass runs the queued tasks, then dispatches the GLib sources that are
// ready, so neither side starves the other. Until then the context is never
// touched (tests on a ManualClock never see it).
//
// A host with a loop of its own polls wakeupFd() alongside its descriptors
// and calls runOnce(0) whenever it becomes readable; runOnce() never blocks
// longer than it is told.
//
// Thread safety: quit() and wakeupFd() may be called from any thread; every
// other member only on the main thread (they throw std::logic_error elsewhere).
#pragma once

#include <functional>

#include "platform/Export.h"

namespace plexora::platform {

class PLEXORA_EXPORT MainLoop final {
 public:
  static MainLoop& instance();
  MainLoop(const MainLoop&) = delete;
  MainLoop& operator=(const MainLoop&) = delete;

  // Runs the tasks queued now (not those they queue in turn), oldest first.
  // When none are queued it waits up to `maxWaitSeconds` of real time for one
  // and runs what arrived. Answers the number of tasks run.
  int runOnce(double maxWaitSeconds = 0.0);
  // Runs tasks until `done` answers true (checked after each batch) or
  // `timeoutSeconds` of real time pass. Answers `done()`.
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds = 5.0);
  // Runs until quit(); a quit() that came before run() ends the next run()
  // at once.
  void run();
  void quit();

  // An eventfd that is readable while main-queue tasks are waiting.
  int wakeupFd() const;

  // Iterate the default GLib main context from now on (see above). Main
  // thread only; there is no way back, as the engine lives for the process.
  void hostGLibContext();
  bool hostsGLibContext() const;

 private:
  MainLoop();
  ~MainLoop();
  struct Impl;
  Impl* impl_;
};

}  // namespace plexora::platform

// Holds the main-queue tasks that this thread posts asynchronously while the
// batch lives, and posts them together when it ends: the main loop wakes
// once for all of them instead of once for each. A thread that posts a few
// tasks in quick succession (a parse that queues its side effects, then its
// outcome) would otherwise wake the main thread for the first, let it go
// back to sleep, and wake it again for the next.
//
// The held tasks keep their order, and run before any this thread posts
// after the batch. A sync() to the main queue from inside the batch first
// posts what is held, so it neither deadlocks nor overtakes them. Only
// async posts from this thread are held; other threads post as usual. A
// batch inside a batch adds nothing: the outer one posts everything.
//
// Thread safety: a batch belongs to the thread that made it; make and
// destroy it there, on the stack.
// Ownership: owns the held tasks until it posts them.
#pragma once

#include <vector>

#include "platform/Export.h"
#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

class PLEXORA_EXPORT MainPostBatch final {
 public:
  MainPostBatch();
  ~MainPostBatch();
  MainPostBatch(const MainPostBatch&) = delete;
  MainPostBatch& operator=(const MainPostBatch&) = delete;

  // Main-queue side: holds the task when this thread has a batch open;
  // answers false (the caller posts it) otherwise.
  static bool hold(Task& task);
  // Main-queue side: posts what this thread's batch holds, now.
  static void postHeld();

 private:
  std::vector<Task> held_;
  // The batch that was open on this thread when this one was made.
  MainPostBatch* outer_;
};

}  // namespace plexora::platform

// The per-thread stack of queues whose tasks the thread is running.
//
// A thread runs a queue's task either as a pool worker or, for sync(), on the
// caller's own thread; nested sync() calls stack up, and every queue on the
// stack is held by this thread, so sync() onto any of them runs inline.
//
// Thread safety: each thread sees only its own stack.
// Ownership: the stack is a chain of scopes on the thread's own call stack
// (no heap, nothing to tear down at thread exit); a queue outlives the scope
// that names it because whoever runs its task holds a reference to it.
#pragma once

namespace plexora::platform {
class DispatchQueue;
}

namespace plexora::platform::detail {

class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const DispatchQueue* queue);
  ~CurrentQueueScope();
  CurrentQueueScope(const CurrentQueueScope&) = delete;
  CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

  const DispatchQueue* queue() const { return queue_; }
  const CurrentQueueScope* outer() const { return outer_; }

 private:
  const DispatchQueue* queue_;
  const CurrentQueueScope* outer_;
};

// The innermost queue on this thread's stack, or null.
const DispatchQueue* innermostCurrentQueue();
// Whether `queue` is anywhere on this thread's stack.
bool isOnCurrentQueueStack(const DispatchQueue* queue);

}  // namespace plexora::platform::detail

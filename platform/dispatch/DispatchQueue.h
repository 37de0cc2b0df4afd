// Dispatch queues: the main queue, serial labelled queues and the global
// concurrent queues. Work is a std::function; queues run it on a shared pool
// of worker threads (serial queues one task at a time, in submission order),
// except the main queue, whose tasks run only inside MainLoop on the main
// thread. About one worker per core runs at a time; a worker blocked in a
// dispatch wait (semaphore, group, sync(), operation) lets the pool start
// another, so a task may wait for work on another queue that way, never on a
// bare condition variable. All priorities share one pool: a priority names
// a distinct queue but does not order work between them.
//
// Thread safety: every member may be called from any thread.
// Ownership: queues are shared_ptr handles; a queue with pending tasks stays
// alive until they have run. The main and global queues live for the process.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Export.h"

namespace plexora::platform {

using Task = std::function<void()>;

enum class QueuePriority { Background, Low, Default, High };

class PLEXORA_EXPORT DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { Main, Serial, Concurrent };

  virtual ~DispatchQueue() = default;
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  // The queue served by MainLoop on the main thread.
  static std::shared_ptr<DispatchQueue> main();
  // One process-wide concurrent queue per priority. sync() onto one runs the
  // task on the calling thread.
  static std::shared_ptr<DispatchQueue> global(QueuePriority priority = QueuePriority::Default);
  // A new serial queue; the label is for diagnostics only.
  static std::shared_ptr<DispatchQueue> createSerial(std::string label);
  // The queue whose task is running on this thread (the innermost one during
  // nested sync()); on the main thread outside any task, the main queue;
  // else null.
  static std::shared_ptr<DispatchQueue> current();

  // Whether this thread is the process's main thread (the thread that
  // started the process).
  static bool isMainThread();

  // Waits until no task is queued or running on any queue. On the main
  // thread the main queue's tasks are run while waiting; elsewhere the main
  // queue is not waited for. Answers false when `timeoutSeconds` of real time
  // passed first (negative: no limit). ManualClock uses it to keep timers in
  // time order. Never call it from a queue's task: it would wait for itself.
  static bool settle(double timeoutSeconds = 10.0);

  virtual const std::string& label() const = 0;
  virtual Kind kind() const = 0;

  // Queues the task and returns at once. A task must not let an exception
  // escape: on a pool thread that ends the process.
  virtual void async(Task task) = 0;
  // Runs the task on this queue and waits for it; what the task throws is
  // rethrown here. Called from a task of this very queue (or of an outer
  // nested sync() onto it, or on the main thread for the main queue) it runs
  // the task inline instead of deadlocking. Off the main thread, sync() onto
  // the main queue waits until MainLoop (or settle) runs it there.
  virtual void sync(Task task) = 0;
  // Queues the task after `seconds` (NaN or negative: at once; infinite or
  // beyond about 31 years: then, the far future) of the current Clock's
  // time; the queue is kept alive until then.
  void after(double seconds, Task task);

  // Whether the calling code runs as a task of this queue (for the main
  // queue: whether this is the main thread).
  virtual bool isCurrent() const = 0;

 protected:
  DispatchQueue() = default;
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

}  // namespace plexora::platform

// Dispatch queues: the main queue, serial labelled queues and the global
// concurrent queues. Work is a std::function; queues run it on a shared pool
// of worker threads (serial queues one task at a time, in submission order),
// except the main queue, whose tasks run only inside MainLoop on the main
// thread.
//
// Thread safety: every member may be called from any thread.
// Ownership: queues are shared_ptr handles; a queue with pending tasks stays
// alive until they have run. The main and global queues live for the process.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace plexora::platform {

using Task = std::function<void()>;

enum class QueuePriority { Background, Low, Default, High };

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { Main, Serial, Concurrent };

  virtual ~DispatchQueue() = default;
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  // The queue served by MainLoop on the main thread.
  static std::shared_ptr<DispatchQueue> main();
  // One process-wide concurrent queue per priority.
  static std::shared_ptr<DispatchQueue> global(QueuePriority priority = QueuePriority::Default);
  // A new serial queue; the label is for diagnostics only.
  static std::shared_ptr<DispatchQueue> createSerial(std::string label);
  // The queue whose task is running on this thread, or null.
  static std::shared_ptr<DispatchQueue> current();

  // Whether this thread is the process's main thread (the thread that
  // started the process).
  static bool isMainThread();

  // Waits until no task is queued or running on any queue. On the main
  // thread the main queue's tasks are run while waiting; elsewhere the main
  // queue is not waited for. Answers false when `timeoutSeconds` of real time
  // passed first. ManualClock uses it to keep timers in time order.
  static bool settle(double timeoutSeconds = 10.0);

  virtual const std::string& label() const = 0;
  virtual Kind kind() const = 0;

  // Queues the task and returns at once.
  virtual void async(Task task) = 0;
  // Runs the task on this queue and waits for it. Called from a task of this
  // very queue (or on the main thread for the main queue) it runs the task
  // inline instead of deadlocking.
  virtual void sync(Task task) = 0;
  // Queues the task after `seconds` of the current Clock's time.
  void after(double seconds, Task task);

  // Whether the calling code runs as a task of this queue (for the main
  // queue: whether this is the main thread).
  virtual bool isCurrent() const = 0;

 protected:
  DispatchQueue() = default;
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

}  // namespace plexora::platform

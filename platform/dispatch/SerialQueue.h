// A serial queue: one task at a time, in submission order, on pool threads.
//
// The queue is "owned" by at most one thread at a time: a pool worker
// draining it, or a thread inside sync(), which runs its task on its own
// thread once every task queued before it has run.
//
// Thread safety: every member may be called from any thread.
// Ownership: while tasks are queued, the drain job on the pool holds the
// queue; a thread in sync() holds it through its caller's reference.
#pragma once

#include <deque>
#include <future>
#include <mutex>
#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform::detail {

class SerialQueue final : public DispatchQueue {
 public:
  explicit SerialQueue(std::string label);

  const std::string& label() const override { return label_; }
  Kind kind() const override { return Kind::Serial; }
  void async(Task task) override;
  void sync(Task task) override;
  bool isCurrent() const override;

 private:
  // Tasks a drain job runs before it yields its worker to other queues.
  static constexpr int kTasksPerDrain = 32;

  // A queued async task, or a sync() caller waiting for its turn.
  struct Item {
    Task task;
    std::promise<void> turn;
    bool isSyncTurn = false;
  };

  void startDrainLocked();
  void drain();
  // Runs `task` as this queue's while this thread owns the queue, then hands
  // the queue on.
  void runOwned(const Task& task);
  void releaseOwnership();

  const std::string label_;
  std::mutex mutex_;
  std::deque<Item> items_;
  bool owned_ = false;
};

}  // namespace plexora::platform::detail

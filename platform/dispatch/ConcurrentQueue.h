// A global concurrent queue: its tasks run in parallel on the shared pool.
// sync() runs the task on the calling thread (as this queue's task), since
// nothing orders it against the queue's other tasks.
//
// Thread safety: every member may be called from any thread.
// Ownership: the global queues live for the process.
#pragma once

#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform::detail {

class ConcurrentQueue final : public DispatchQueue {
 public:
  explicit ConcurrentQueue(std::string label);

  const std::string& label() const override { return label_; }
  Kind kind() const override { return Kind::Concurrent; }
  void async(Task task) override;
  void sync(Task task) override;
  bool isCurrent() const override;

 private:
  const std::string label_;
};

}  // namespace plexora::platform::detail

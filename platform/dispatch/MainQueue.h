// The main queue: its tasks run only on the main thread, inside MainLoop (or
// DispatchQueue::settle on the main thread).
//
// Thread safety: every member may be called from any thread.
// Ownership: one instance for the process.
#pragma once

#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform::detail {

class MainQueue final : public DispatchQueue {
 public:
  MainQueue() = default;

  const std::string& label() const override { return label_; }
  Kind kind() const override { return Kind::Main; }
  void async(Task task) override;
  // On the main thread the task runs inline; elsewhere the caller blocks until
  // the main loop has run it (an exception it throws is rethrown here).
  void sync(Task task) override;
  bool isCurrent() const override { return isMainThread(); }

 private:
  const std::string label_ = "plexora.main";
};

}  // namespace plexora::platform::detail

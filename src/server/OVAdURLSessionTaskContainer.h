// The handle of one request made through OVAdURLSession. A request waits in
// the session until the user agent is known; only then does it get its data
// task.
//
// Thread safety: every member may be called from any thread.
// Ownership: the session and the caller share the container; the container
// owns its task handle. The cancellation callback is dropped once the task
// exists or the request was cancelled, so it never outlives its use.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/net/URLSessionDataTask.h"

namespace plexora {

class OVAdURLSessionTaskContainer final : public std::enable_shared_from_this<OVAdURLSessionTaskContainer> {
 public:
  // Told once when cancel() ends a request that has no task yet.
  using CancelledWhileWaiting = std::function<void(const std::shared_ptr<OVAdURLSessionTaskContainer>&)>;

  // The request starts now (requestStart reads the current Clock).
  static std::shared_ptr<OVAdURLSessionTaskContainer> create(CancelledWhileWaiting cancelledWhileWaiting);

  OVAdURLSessionTaskContainer(const OVAdURLSessionTaskContainer&) = delete;
  OVAdURLSessionTaskContainer& operator=(const OVAdURLSessionTaskContainer&) = delete;

  // Null while the request waits for the session.
  platform::URLSessionDataTaskPtr task() const;
  // The current Clock's monotonic time when the request was handed to the
  // session.
  double requestStart() const { return requestStart_; }
  // The task's state. A waiting request reads as running (0), one cancelled
  // while waiting as completed.
  platform::URLSessionTaskState state() const;
  // Cancels the task. A request still waiting never gets a task: its
  // cancellation callback runs instead, once.
  void cancel();

  // Session side: stores the task that `makeTask` makes and resumes it,
  // unless the request was cancelled first. Answers whether it started.
  bool startTask(const std::function<platform::URLSessionDataTaskPtr()>& makeTask);

 private:
  OVAdURLSessionTaskContainer(CancelledWhileWaiting cancelledWhileWaiting, double requestStart);

  const double requestStart_;
  mutable std::mutex mutex_;
  platform::URLSessionDataTaskPtr task_;
  bool cancelledWhileWaiting_ = false;
  CancelledWhileWaiting onCancelledWhileWaiting_;
};

}  // namespace plexora

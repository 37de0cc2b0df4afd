// The shared state of one data task, used by its handle (URLSessionDataTask)
// and by the session's transfer thread. Internal to platform/net.
//
// The state machine: Suspended -> Running (resume) -> Canceling (cancel) ->
// Completed. finish() decides the outcome exactly once; a task that is
// Canceling at that moment completes as cancelled whatever the transfer did.
//
// Thread safety: every member may be called from any thread.
// Ownership: shared by the handle and, while it runs, the transfer thread.
// The completion is moved out when it is queued, so a completion that holds
// the task's handle does not keep the task alive after it ran.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/DataTaskCompletion.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionDataTask.h"

namespace plexora::platform {

class DataTaskCore final {
 public:
  DataTaskCore(std::uint64_t identifier, URLRequest request, DataTaskOptions options, DataTaskCompletion completion,
               DispatchQueuePtr delegateQueue);
  DataTaskCore(const DataTaskCore&) = delete;
  DataTaskCore& operator=(const DataTaskCore&) = delete;

  std::uint64_t identifier() const { return identifier_; }
  const URLRequest& request() const { return request_; }
  const DataTaskOptions& options() const { return options_; }

  URLSessionTaskState state() const;

  // Suspended -> Running; answers whether it moved.
  bool markRunning();
  enum class CancelStep { Nothing, FinishNow, TellTransferThread };
  // Suspended -> Completed (FinishNow: the caller calls finishCancelled()),
  // Running -> Canceling (TellTransferThread), otherwise Nothing.
  CancelStep markCanceling();
  bool isCanceling() const;

  // Queues the completion on the delegate queue unless it was queued before.
  void finish(Bytes data, std::optional<HTTPURLResponse> response, std::optional<Error> error);
  // The transfer thread's finish of a transfer that came to its outcome:
  // runs the completion here when the task asked for that
  // (completesOnTransferThread) and was not cancelled meanwhile, otherwise
  // as finish().
  void finishOnTransferThread(Bytes data, std::optional<HTTPURLResponse> response, std::optional<Error> error);
  void finishCancelled();

 private:
  // Takes the completion once and settles the outcome; answers a null
  // completion when the task finished before. `cancelled` tells whether the
  // outcome became a cancellation.
  DataTaskCompletion takeCompletion(Bytes& data, std::optional<HTTPURLResponse>& response,
                                    std::optional<Error>& error, bool& cancelled);
  // Runs a taken completion on this thread (`here`) or queues it on the
  // delegate queue; nothing for a null one.
  void deliver(DataTaskCompletion completion, Bytes data, std::optional<HTTPURLResponse> response,
               std::optional<Error> error, bool here);

  const std::uint64_t identifier_;
  const URLRequest request_;
  const DataTaskOptions options_;
  const DispatchQueuePtr delegateQueue_;

  mutable std::mutex mutex_;
  URLSessionTaskState state_ = URLSessionTaskState::Suspended;
  bool finished_ = false;
  DataTaskCompletion completion_;
};

}  // namespace plexora::platform

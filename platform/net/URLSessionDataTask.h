// One HTTP exchange made by a URLSession.
//
// A task starts suspended; resume() hands it to the session's transfer
// thread. Its completion runs exactly once, on the session's delegate
// queue: with the body and the response, or with an error in the
// "NSURLErrorDomain" domain (see URLError.h). An HTTP error status is a
// response, not an error. cancel() ends a task that has not completed with
// kURLErrorCancelled; once cancel() has returned, no other outcome is
// delivered.
//
// Thread safety: every member may be called from any thread.
// Ownership: the caller's shared_ptr is a handle; a running task is kept
// alive by its session until it completes, so dropping the handle does not
// stop it. The completion is released once it has run.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/net/URLRequest.h"

namespace plexora::platform {

class DataTaskCore;
class CurlMultiWorker;

// The values match the platform's own numbering, which callers compare with.
enum class URLSessionTaskState { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

class URLSessionDataTask final {
 public:
  URLSessionDataTask(std::shared_ptr<DataTaskCore> core, std::weak_ptr<CurlMultiWorker> worker);
  ~URLSessionDataTask();
  URLSessionDataTask(const URLSessionDataTask&) = delete;
  URLSessionDataTask& operator=(const URLSessionDataTask&) = delete;

  // Starts a suspended task; does nothing otherwise. When its session is
  // gone the task completes as cancelled.
  void resume();
  // Completes a suspended or running task as cancelled; does nothing once
  // the task is completing or completed.
  void cancel();

  URLSessionTaskState state() const;
  // Unique within the session, counting from 1 in order of creation.
  std::uint64_t taskIdentifier() const;
  const URLRequest& originalRequest() const;

 private:
  std::shared_ptr<DataTaskCore> core_;
  std::weak_ptr<CurlMultiWorker> worker_;
};

using URLSessionDataTaskPtr = std::shared_ptr<URLSessionDataTask>;

}  // namespace plexora::platform

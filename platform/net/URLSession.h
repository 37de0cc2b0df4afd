// The platform's HTTP client: makes data tasks that one transfer thread runs
// concurrently, and delivers their completions on a delegate queue (or on
// the transfer thread itself, for a task whose options ask for it).
//
// Thread safety: every member may be called from any thread; the session
// may also be destroyed from one of its own completions on the delegate
// queue, never from one on its transfer thread.
// Ownership: the creator owns the session. Destroying it stops the transfer
// thread (joined before the destructor returns) and completes every task
// that has not completed with kURLErrorCancelled; completions already
// queued still run on the delegate queue. Tasks made by a destroyed session
// complete as cancelled when resumed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/DataTaskCompletion.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/net/URLSessionDataTask.h"

namespace plexora::platform {

class CurlMultiWorker;

class URLSession final {
 public:
  // A null delegate queue gives the session a serial queue of its own.
  explicit URLSession(URLSessionConfiguration configuration = {}, DispatchQueuePtr delegateQueue = nullptr);
  ~URLSession();
  URLSession(const URLSession&) = delete;
  URLSession& operator=(const URLSession&) = delete;

  // A suspended task for the request; call resume() on it to send it.
  URLSessionDataTaskPtr dataTask(URLRequest request, DataTaskCompletion completion, DataTaskOptions options = {});

  const URLSessionConfiguration& configuration() const { return configuration_; }
  const DispatchQueuePtr& delegateQueue() const { return delegateQueue_; }

 private:
  const URLSessionConfiguration configuration_;
  const DispatchQueuePtr delegateQueue_;
  std::atomic<std::uint64_t> lastTaskIdentifier_{0};
  std::shared_ptr<CurlMultiWorker> worker_;
};

}  // namespace plexora::platform

// The transfer thread of one URLSession: a single thread drives every
// transfer of the session through one libcurl multi handle, so connections
// are reused between tasks. Other threads hand it work through a small
// command list and wake it from curl_multi_poll. Internal to platform/net.
//
// Thread safety: start() and cancel() may be called from any thread, also
// from a completion run on the transfer thread; shutdown() from any thread
// except the transfer thread itself (it joins it).
// Ownership: owned by its URLSession; tasks refer to it weakly. Holds every
// running task until its completion has been queued.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/net/CurlHandlePool.h"
#include "platform/net/CurlTransfer.h"
#include "platform/net/DataTaskCore.h"
#include "platform/net/URLSessionConfiguration.h"

namespace plexora::platform {

class CurlMultiWorker final {
 public:
  explicit CurlMultiWorker(URLSessionConfiguration configuration);
  ~CurlMultiWorker();
  CurlMultiWorker(const CurlMultiWorker&) = delete;
  CurlMultiWorker& operator=(const CurlMultiWorker&) = delete;

  // Queues the task's transfer. Answers false once shut down (the caller
  // then finishes the task itself).
  bool start(std::shared_ptr<DataTaskCore> task);
  // Stops the task's transfer and finishes it as cancelled; a task that is
  // not running here is left alone.
  void cancel(std::uint64_t taskIdentifier);
  // Finishes every task as cancelled, stops and joins the thread. Later
  // calls do nothing.
  void shutdown();

 private:
  struct Command {
    std::shared_ptr<DataTaskCore> taskToStart;  // null: cancel
    std::uint64_t taskToCancel = 0;
  };

  // Queues the command and wakes the thread; false once shut down.
  bool post(Command command);
  void run();
  void runCommand(Command& command);
  // A data URL carries its answer: no transfer, no network.
  void answerDataURL(DataTaskCore& task);
  void collectFinishedTransfers();
  void cancelEverything();
  void remove(std::uint64_t taskIdentifier);

  const URLSessionConfiguration configuration_;
  CURLM* multi_;

  std::mutex mutex_;
  std::vector<Command> commands_;
  bool shuttingDown_ = false;
  std::once_flag joined_;

  // Transfer thread only. The pool is declared first so that it outlives
  // the transfers holding its handles.
  CurlHandlePool handles_;
  std::unordered_map<std::uint64_t, std::unique_ptr<CurlTransfer>> transfers_;

  std::thread thread_;
};

}  // namespace plexora::platform

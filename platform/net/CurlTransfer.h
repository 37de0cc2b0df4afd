// One data task's libcurl easy handle: its options, the received headers
// and body, and the translation of the result into the task's completion.
// Internal to platform/net.
//
// Thread safety: used only on the session's transfer thread.
// Ownership: holds an easy handle of the worker's pool for its life and
// gives it back when destroyed (the pool must outlive it); owns its header
// list; shares the task.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>

#include "platform/net/CurlHandlePool.h"
#include "platform/net/DataTaskCore.h"
#include "platform/net/URLSessionConfiguration.h"

namespace plexora::platform {

class CurlTransfer final {
 public:
  // None when the request cannot be sent as given (the task has then been
  // finished with an error).
  static std::unique_ptr<CurlTransfer> create(std::shared_ptr<DataTaskCore> task,
                                              const URLSessionConfiguration& configuration, CurlHandlePool& handles);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  CURL* handle() const { return easy_; }
  DataTaskCore& task() const { return *task_; }

  // Finishes the task from libcurl's result for this transfer.
  void complete(CURLcode result);

 private:
  CurlTransfer(std::shared_ptr<DataTaskCore> task, CURL* easy, CurlHandlePool& handles);
  bool configure(const URLSessionConfiguration& configuration);
  // The final response, taking its header fields: called once, at the end.
  std::optional<HTTPURLResponse> takeReceivedResponse();

  static size_t onBody(char* bytes, size_t size, size_t count, void* transfer);
  static size_t onHeaderLine(char* bytes, size_t size, size_t count, void* transfer);

  std::shared_ptr<DataTaskCore> task_;
  CURL* easy_;
  CurlHandlePool& handles_;
  curl_slist* headerList_ = nullptr;
  std::vector<HTTPHeaderFields::Field> receivedHeaders_;  // of the latest response
  Bytes body_;
  // The body outgrew the request's maximumBodyLength and was refused.
  bool bodyTooLarge_ = false;
};

}  // namespace plexora::platform

// Every request the test server received, in order of arrival.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "testserver/Exchange.h"

namespace plexora::testserver {

class RequestLog final {
 public:
  RequestLog() = default;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  void record(RecordedRequest request);
  std::vector<RecordedRequest> snapshot() const;
  // Blocks until at least `count` requests arrived; answers false when
  // `timeout` passed first.
  bool waitFor(std::size_t count, std::chrono::milliseconds timeout) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace plexora::testserver

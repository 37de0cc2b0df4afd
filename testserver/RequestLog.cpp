#include "testserver/RequestLog.h"

namespace plexora::testserver {

void RequestLog::record(RecordedRequest request) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
  }
  arrived_.notify_all();
}

std::vector<RecordedRequest> RequestLog::snapshot() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool RequestLog::waitFor(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void RequestLog::clear() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

}  // namespace plexora::testserver

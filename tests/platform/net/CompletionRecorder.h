// Collects data-task completions for the network tests: what each delivered
// and whether it ran on the expected delegate queue.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/DataTaskCompletion.h"
#include "platform/thread/ThreadInfo.h"

namespace plexora::platform {

struct Outcome {
  int tag = 0;
  std::string body;
  std::optional<HTTPURLResponse> response;
  std::optional<Error> error;
  bool onDelegateQueue = false;
  // The thread the completion ran on, as currentThreadDescription() has it.
  std::string thread;
};

class CompletionRecorder {
 public:
  explicit CompletionRecorder(DispatchQueuePtr expectedQueue) : expectedQueue_(std::move(expectedQueue)) {}

  DataTaskCompletion completion(int tag = 0) {
    return [this, tag](Bytes data, std::optional<HTTPURLResponse> response, std::optional<Error> error) {
      Outcome outcome{tag,
                      std::string(data.begin(), data.end()),
                      std::move(response),
                      std::move(error),
                      expectedQueue_->isCurrent(),
                      currentThreadDescription()};
      std::lock_guard lock(mutex_);
      outcomes_.push_back(std::move(outcome));
      arrived_.notify_all();
    };
  }

  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return outcomes_.size() >= count; });
  }

  std::vector<Outcome> outcomes() {
    std::lock_guard lock(mutex_);
    return outcomes_;
  }

  // Waits for the first completion; an empty outcome with a failed
  // expectation when none came.
  Outcome first() {
    if (!waitFor(1)) {
      ADD_FAILURE() << "no completion arrived";
      return {};
    }
    return outcomes().front();
  }

 private:
  DispatchQueuePtr expectedQueue_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Outcome> outcomes_;
};

}  // namespace plexora::platform

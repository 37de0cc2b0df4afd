#include "platform/net/DataTaskCore.h"

#include "platform/net/URLError.h"

namespace plexora::platform {

DataTaskCore::DataTaskCore(std::uint64_t identifier, URLRequest request, DataTaskOptions options,
                           DataTaskCompletion completion, DispatchQueuePtr delegateQueue)
    : identifier_(identifier),
      request_(std::move(request)),
      options_(options),
      delegateQueue_(std::move(delegateQueue)),
      completion_(std::move(completion)) {}

URLSessionTaskState DataTaskCore::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

bool DataTaskCore::markRunning() {
  std::lock_guard lock(mutex_);
  if (state_ != URLSessionTaskState::Suspended) return false;
  state_ = URLSessionTaskState::Running;
  return true;
}

DataTaskCore::CancelStep DataTaskCore::markCanceling() {
  std::lock_guard lock(mutex_);
  switch (state_) {
    case URLSessionTaskState::Suspended:
      // Never handed to the transfer thread: nobody else will finish it.
      state_ = URLSessionTaskState::Canceling;
      return CancelStep::FinishNow;
    case URLSessionTaskState::Running:
      state_ = URLSessionTaskState::Canceling;
      return CancelStep::TellTransferThread;
    case URLSessionTaskState::Canceling:
    case URLSessionTaskState::Completed:
      return CancelStep::Nothing;
  }
  return CancelStep::Nothing;
}

bool DataTaskCore::isCanceling() const {
  std::lock_guard lock(mutex_);
  return state_ == URLSessionTaskState::Canceling;
}

DataTaskCompletion DataTaskCore::takeCompletion(Bytes& data, std::optional<HTTPURLResponse>& response,
                                                std::optional<Error>& error, bool& cancelled) {
  std::lock_guard lock(mutex_);
  cancelled = false;
  if (finished_) return {};
  finished_ = true;
  if (state_ == URLSessionTaskState::Canceling) {
    // cancel() returned before the outcome was known; the caller was
    // promised a cancellation and nothing else.
    data.clear();
    response.reset();
    error = makeURLError(kURLErrorCancelled);
    cancelled = true;
  }
  state_ = URLSessionTaskState::Completed;
  return std::move(completion_);
}

void DataTaskCore::finish(Bytes data, std::optional<HTTPURLResponse> response, std::optional<Error> error) {
  bool cancelled = false;
  DataTaskCompletion completion = takeCompletion(data, response, error, cancelled);
  deliver(std::move(completion), std::move(data), std::move(response), std::move(error), false);
}

void DataTaskCore::finishOnTransferThread(Bytes data, std::optional<HTTPURLResponse> response,
                                          std::optional<Error> error) {
  bool cancelled = false;
  DataTaskCompletion completion = takeCompletion(data, response, error, cancelled);
  deliver(std::move(completion), std::move(data), std::move(response), std::move(error),
          options_.completesOnTransferThread && !cancelled);
}

void DataTaskCore::deliver(DataTaskCompletion completion, Bytes data, std::optional<HTTPURLResponse> response,
                           std::optional<Error> error, bool here) {
  if (!completion) return;
  if (here) {
    completion(std::move(data), std::move(response), std::move(error));
    return;
  }
  delegateQueue_->async([completion = std::move(completion), data = std::move(data), response = std::move(response),
                         error = std::move(error)]() mutable {
    completion(std::move(data), std::move(response), std::move(error));
  });
}

void DataTaskCore::finishCancelled() { finish({}, std::nullopt, makeURLError(kURLErrorCancelled)); }

}  // namespace plexora::platform

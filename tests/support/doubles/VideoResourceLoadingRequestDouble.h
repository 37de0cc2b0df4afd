// An engine loading request for the resource loader's tests: it asks for a
// URL and a byte range, records what the fetcher answers (response, content
// information, bytes, and every finish call) and lets the test wait for the
// finish.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "util/qnv/asset/QNVAssetResourceLoading.h"

namespace plexora::testing {

class ContentInformationRequestDouble final : public QNVAssetResourceLoadingContentInformationRequest {
 public:
  void setContentLength(std::int64_t contentLength) override {
    std::lock_guard lock(mutex_);
    contentLength_ = contentLength;
  }
  void setContentType(std::string contentType) override {
    std::lock_guard lock(mutex_);
    contentType_ = std::move(contentType);
  }
  void setByteRangeAccessSupported(bool supported) override {
    std::lock_guard lock(mutex_);
    byteRangeAccessSupported_ = supported;
  }
  std::int64_t contentLength() const {
    std::lock_guard lock(mutex_);
    return contentLength_;
  }
  std::string contentType() const {
    std::lock_guard lock(mutex_);
    return contentType_;
  }
  bool byteRangeAccessSupported() const {
    std::lock_guard lock(mutex_);
    return byteRangeAccessSupported_;
  }

 private:
  mutable std::mutex mutex_;
  std::int64_t contentLength_ = 0;
  std::string contentType_;
  bool byteRangeAccessSupported_ = false;
};

class DataRequestDouble final : public QNVAssetResourceLoadingDataRequest {
 public:
  DataRequestDouble(std::int64_t offset, std::int64_t length)
      : requestedOffset_(offset), requestedLength_(length), currentOffset_(offset) {}

  std::int64_t requestedOffset() const override { return requestedOffset_; }
  std::int64_t requestedLength() const override { return requestedLength_; }
  std::int64_t currentOffset() const override {
    std::lock_guard lock(mutex_);
    return currentOffset_;
  }
  void respondWithData(platform::ByteView data) override {
    std::lock_guard lock(mutex_);
    received_.append(data.begin(), data.end());
    currentOffset_ += static_cast<std::int64_t>(data.size());
  }
  std::string received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  const std::int64_t requestedOffset_;
  const std::int64_t requestedLength_;
  mutable std::mutex mutex_;
  std::int64_t currentOffset_;
  std::string received_;
};

class LoadingRequestDouble final : public QNVAssetResourceLoadingRequest {
 public:
  // Offset 0 and length 0 ask for the whole resource.
  LoadingRequestDouble(std::string url, std::int64_t offset, std::int64_t length)
      : request_(std::move(url)),
        information_(std::make_shared<ContentInformationRequestDouble>()),
        data_(std::make_shared<DataRequestDouble>(offset, length)) {}

  const platform::URLRequest& request() const override { return request_; }
  std::shared_ptr<QNVAssetResourceLoadingContentInformationRequest> contentInformationRequest() const override {
    return information_;
  }
  std::shared_ptr<QNVAssetResourceLoadingDataRequest> dataRequest() const override { return data_; }
  void setResponse(const platform::HTTPURLResponse& response) override {
    std::lock_guard lock(mutex_);
    response_ = response;
  }
  void finishLoading() override {
    std::lock_guard lock(mutex_);
    ++finishCount_;
    finished_.notify_all();
  }
  void finishLoadingWithError(const platform::Error& error) override {
    std::lock_guard lock(mutex_);
    ++finishCount_;
    error_ = error;
    finished_.notify_all();
  }

  bool waitForFinish(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [this] { return finishCount_ > 0; });
  }
  int finishCount() const {
    std::lock_guard lock(mutex_);
    return finishCount_;
  }
  std::optional<platform::Error> error() const {
    std::lock_guard lock(mutex_);
    return error_;
  }
  std::optional<platform::HTTPURLResponse> response() const {
    std::lock_guard lock(mutex_);
    return response_;
  }
  const ContentInformationRequestDouble& information() const { return *information_; }
  const DataRequestDouble& data() const { return *data_; }

 private:
  const platform::URLRequest request_;
  const std::shared_ptr<ContentInformationRequestDouble> information_;
  const std::shared_ptr<DataRequestDouble> data_;
  mutable std::mutex mutex_;
  mutable std::condition_variable finished_;
  int finishCount_ = 0;
  std::optional<platform::Error> error_;
  std::optional<platform::HTTPURLResponse> response_;
};

}  // namespace plexora::testing

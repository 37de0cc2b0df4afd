// The engine's side of resource loading: the per-asset holder of the
// fetcher (QNVAssetResourceLoader) and the request objects its loaders hand
// the fetcher. These are value holders with callbacks; they decide nothing.
// A loader describes the byte range it wants with a QNVDataRequest, wraps it
// in a QNVLoadingRequest with the URL and a completion callback, and hands
// that to the fetcher on the resource loader's delegate queue; the fetcher
// answers through the request (content information, bytes in order, then
// exactly one finish).
//
// Thread safety: no locks. The fetcher is called only on the delegate
// queue; it may answer a request from any thread, one answer at a time, so
// the callbacks a loader installs hop to the loader's own queue before they
// touch its state.
// Ownership: the loader that made a request owns it; the fetcher holds it
// while it serves it. The resource loader holds its delegate weakly and the
// queue and tags strongly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/value/Value.h"
#include "util/qnv/asset/QNVAssetResourceLoading.h"

namespace plexora {

class QNVAssetResourceLoader {
 public:
  void setDelegate(const std::shared_ptr<QNVAssetResourceLoaderDelegate>& delegate, platform::DispatchQueuePtr queue,
                   std::optional<std::string> videoID, std::optional<std::string> trackerID,
                   std::optional<std::set<std::string>> analyticsTags);

  // Null once the fetcher is gone.
  std::shared_ptr<QNVAssetResourceLoaderDelegate> delegate() const { return delegate_.lock(); }
  const platform::DispatchQueuePtr& delegateQueue() const { return delegateQueue_; }
  const std::optional<std::string>& videoID() const { return videoID_; }
  const std::optional<std::string>& trackerID() const { return trackerID_; }
  const std::optional<std::set<std::string>>& analyticsTags() const { return analyticsTags_; }

 private:
  std::weak_ptr<QNVAssetResourceLoaderDelegate> delegate_;
  platform::DispatchQueuePtr delegateQueue_;
  std::optional<std::string> videoID_;
  std::optional<std::string> trackerID_;
  std::optional<std::set<std::string>> analyticsTags_;
};

// Runs the callback on the loader's delegate queue: dispatched when the
// caller is asynchronous, at once otherwise; nothing without a queue.
void QNVRunOnDelegateQueue(const QNVAssetResourceLoader& loader, bool async, std::function<void()> callback);

class QNVContentInformationRequest final : public QNVAssetResourceLoadingContentInformationRequest {
 public:
  void setContentLength(std::int64_t contentLength) override { contentLength_ = contentLength; }
  void setContentType(std::string contentType) override { contentType_ = std::move(contentType); }
  void setByteRangeAccessSupported(bool supported) override { byteRangeAccessSupported_ = supported; }

  // 0 until the fetcher sets it.
  std::int64_t contentLength() const { return contentLength_; }
  const std::string& contentType() const { return contentType_; }
  bool isByteRangeAccessSupported() const { return byteRangeAccessSupported_; }

 private:
  std::int64_t contentLength_ = 0;
  std::string contentType_;
  bool byteRangeAccessSupported_ = false;
};

class QNVDataRequest final : public QNVAssetResourceLoadingDataRequest {
 public:
  // Called with the answered bytes, the offset of their first byte and the
  // request itself.
  using DataCallback = std::function<void(platform::ByteView data, std::uint64_t offset, QNVDataRequest& request)>;

  QNVDataRequest(std::int64_t requestedOffset, std::int64_t requestedLength, DataCallback dataCallback);

  std::int64_t requestedOffset() const override { return requestedOffset_; }
  std::int64_t requestedLength() const override { return requestedLength_; }
  std::int64_t currentOffset() const override { return currentOffset_; }
  // Hands the bytes to the callback at the current offset, then moves the
  // offset on by their length.
  void respondWithData(platform::ByteView data) override;

  // Hints to the fetcher; all off at creation.
  bool bypassCache = false;
  bool enablePrefetchLookupWhenBypassCache = false;
  bool isAudio = false;
  bool firstRequest = false;
  bool isForDiskCache = false;

 private:
  const std::int64_t requestedOffset_;
  const std::int64_t requestedLength_;
  std::int64_t currentOffset_;
  const DataCallback dataCallback_;
};

class QNVLoadingRequest final : public QNVAssetResourceLoadingRequest {
 public:
  // Called once the fetcher finishes: no error on success.
  using CompletionCallback =
      std::function<void(const std::optional<platform::Error>& error, QNVLoadingRequest& request)>;

  QNVLoadingRequest(std::shared_ptr<QNVContentInformationRequest> contentInformationRequest,
                    std::shared_ptr<QNVDataRequest> dataRequest, platform::URLRequest urlRequest,
                    CompletionCallback completionCallback);

  const platform::URLRequest& request() const override { return urlRequest_; }
  std::shared_ptr<QNVAssetResourceLoadingContentInformationRequest> contentInformationRequest() const override {
    return contentInformationRequest_;
  }
  std::shared_ptr<QNVAssetResourceLoadingDataRequest> dataRequest() const override { return dataRequest_; }
  // The same objects with their own types.
  const std::shared_ptr<QNVContentInformationRequest>& contentInformation() const { return contentInformationRequest_; }
  const std::shared_ptr<QNVDataRequest>& data() const { return dataRequest_; }

  void setResponse(const platform::HTTPURLResponse& response) override { response_ = response; }
  const std::optional<platform::HTTPURLResponse>& response() const { return response_; }
  void setRedirect(platform::URLRequest redirect) { redirect_ = std::move(redirect); }
  const std::optional<platform::URLRequest>& redirect() const { return redirect_; }
  void setMetadataDictionary(platform::Dictionary metadata) { metadataDictionary_ = std::move(metadata); }
  const platform::Dictionary& metadataDictionary() const { return metadataDictionary_; }

  void finishLoading() override;
  void finishLoadingWithError(const platform::Error& error) override;
  // Stores the dictionary, then finishes: the callback can read it.
  void finishLoadingWithMetadataDictionary(platform::Dictionary metadata);

 private:
  const std::shared_ptr<QNVContentInformationRequest> contentInformationRequest_;
  const std::shared_ptr<QNVDataRequest> dataRequest_;
  const platform::URLRequest urlRequest_;
  const CompletionCallback completionCallback_;
  std::optional<platform::HTTPURLResponse> response_;
  std::optional<platform::URLRequest> redirect_;
  platform::Dictionary metadataDictionary_;
};

}  // namespace plexora

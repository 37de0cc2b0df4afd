#include "util/qnv/asset/QNVAssetResourceLoader.h"

namespace plexora {

void QNVAssetResourceLoader::setDelegate(const std::shared_ptr<QNVAssetResourceLoaderDelegate>& delegate,
                                         platform::DispatchQueuePtr queue, std::optional<std::string> videoID,
                                         std::optional<std::string> trackerID,
                                         std::optional<std::set<std::string>> analyticsTags) {
  delegate_ = delegate;
  delegateQueue_ = std::move(queue);
  videoID_ = std::move(videoID);
  trackerID_ = std::move(trackerID);
  analyticsTags_ = std::move(analyticsTags);
}

void QNVRunOnDelegateQueue(const QNVAssetResourceLoader& loader, bool async, std::function<void()> callback) {
  if (!loader.delegateQueue() || !callback) return;
  if (async) {
    loader.delegateQueue()->async(std::move(callback));
  } else {
    callback();
  }
}

QNVDataRequest::QNVDataRequest(std::int64_t requestedOffset, std::int64_t requestedLength, DataCallback dataCallback)
    : requestedOffset_(requestedOffset),
      requestedLength_(requestedLength),
      currentOffset_(requestedOffset),
      dataCallback_(std::move(dataCallback)) {}

void QNVDataRequest::respondWithData(platform::ByteView data) {
  if (dataCallback_) dataCallback_(data, static_cast<std::uint64_t>(currentOffset_), *this);
  currentOffset_ += static_cast<std::int64_t>(data.size());
}

QNVLoadingRequest::QNVLoadingRequest(std::shared_ptr<QNVContentInformationRequest> contentInformationRequest,
                                     std::shared_ptr<QNVDataRequest> dataRequest, platform::URLRequest urlRequest,
                                     CompletionCallback completionCallback)
    : contentInformationRequest_(std::move(contentInformationRequest)),
      dataRequest_(std::move(dataRequest)),
      urlRequest_(std::move(urlRequest)),
      completionCallback_(std::move(completionCallback)) {}

void QNVLoadingRequest::finishLoading() {
  if (completionCallback_) completionCallback_(std::nullopt, *this);
}

void QNVLoadingRequest::finishLoadingWithError(const platform::Error& error) {
  if (completionCallback_) completionCallback_(error, *this);
}

void QNVLoadingRequest::finishLoadingWithMetadataDictionary(platform::Dictionary metadata) {
  metadataDictionary_ = std::move(metadata);
  finishLoading();
}

}  // namespace plexora

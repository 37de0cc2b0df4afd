// The video engine's side of the resource loader: its loading requests are
// served through the URL session, one session request each, or from the
// range store when it holds their bytes.
#include <span>
#include <utility>

#include "platform/net/URLError.h"
#include "server/OVAdURLSession.h"
#include "util/OVAdResourceLoader.h"
#include "util/OVAdResourceLoaderByteRange.h"
#include "util/cache/OVAdByteRangeStore.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"

namespace plexora {

namespace {

constexpr const char* kRangeField = "Range";
constexpr const char* kContentRangeField = "Content-Range";
constexpr const char* kAcceptRangesField = "Accept-Ranges";
constexpr const char* kContentTypeField = "Content-Type";
constexpr long kFirstSuccessStatus = 200;
constexpr long kFirstRedirectStatus = 300;

// Codes of the URL loading system that the platform's list leaves out.
constexpr std::int64_t kURLErrorZeroByteResource = -1014;
constexpr const char* kZeroByteResourceDescription = "The requested range of the resource holds no data.";
constexpr std::int64_t kURLErrorDataLengthExceedsMaximum = -1103;
constexpr const char* kDataLengthExceedsMaximumDescription = "The resource exceeds the maximum allowed size.";

platform::Error urlError(std::int64_t code, const char* description) {
  return platform::Error(platform::kURLErrorDomain, code,
                         platform::Dictionary{{platform::kLocalizedDescriptionKey, description}});
}

struct RequestedRange {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

RequestedRange requestedRangeOf(const QNVAssetResourceLoadingRequest& loadingRequest) {
  const auto dataRequest = loadingRequest.dataRequest();
  if (!dataRequest) {
    return {};
  }
  return {dataRequest->requestedOffset(), dataRequest->requestedLength()};
}

// Only ranges of media files are kept: whole-resource requests include
// manifests, which change, and a request that bypasses the cache wants the
// host's bytes as they are now.
bool usesRangeStore(const QNVAssetResourceLoadingRequest& loadingRequest, RequestedRange range) {
  if (range.length <= 0) return false;
  const auto hints = std::dynamic_pointer_cast<QNVDataRequest>(loadingRequest.dataRequest());
  return !hints || !hints->bypassCache;
}

void answerFromStore(QNVAssetResourceLoadingRequest& loadingRequest, const OVAdByteRangeStore::Held& held) {
  if (const auto information = loadingRequest.contentInformationRequest()) {
    information->setContentLength(static_cast<std::int64_t>(held.fileSize));
    information->setContentType(held.contentType);
    information->setByteRangeAccessSupported(true);
  }
  if (const auto dataRequest = loadingRequest.dataRequest()) dataRequest->respondWithData(held.bytes);
  loadingRequest.finishLoading();
}

void answer(QNVAssetResourceLoadingRequest& loadingRequest, RequestedRange range, std::size_t maximumBytes,
            const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
            const std::optional<platform::Error>& error, OVAdByteRangeStore* store) {
  if (error) {
    loadingRequest.finishLoadingWithError(*error);
    return;
  }
  if (!response || response->statusCode < kFirstSuccessStatus || response->statusCode >= kFirstRedirectStatus) {
    loadingRequest.finishLoadingWithError(platform::makeURLError(platform::kURLErrorBadServerResponse));
    return;
  }
  if (data.size() > maximumBytes) {
    loadingRequest.finishLoadingWithError(
        urlError(kURLErrorDataLengthExceedsMaximum, kDataLengthExceedsMaximumDescription));
    return;
  }
  const std::optional<OVAdServedRange> served = OVAdServedRangeForAnswer(
      response->statusCode, response->valueForHTTPHeaderField(kContentRangeField),
      response->valueForHTTPHeaderField(kAcceptRangesField), data.size(), range.offset, range.length);
  if (!served) {
    loadingRequest.finishLoadingWithError(data.empty()
                                              ? urlError(kURLErrorZeroByteResource, kZeroByteResourceDescription)
                                              : platform::makeURLError(platform::kURLErrorBadServerResponse));
    return;
  }

  const platform::ByteView body = platform::ByteView(data).subspan(served->bodyStart, served->bodyLength);
  const std::string contentType = response->valueForHTTPHeaderField(kContentTypeField).value_or("");
  // Kept before the answer, so a request the answer prompts finds them.
  if (store && served->contentLength > 0) {
    store->write(loadingRequest.request().url, static_cast<std::uint64_t>(range.offset), body,
                 static_cast<std::uint64_t>(served->contentLength), contentType);
  }
  loadingRequest.setResponse(*response);
  if (const auto information = loadingRequest.contentInformationRequest()) {
    information->setContentLength(served->contentLength);
    if (!contentType.empty()) information->setContentType(contentType);
    information->setByteRangeAccessSupported(served->byteRangeAccessSupported);
  }
  if (const auto dataRequest = loadingRequest.dataRequest()) dataRequest->respondWithData(body);
  loadingRequest.finishLoading();
}

}  // namespace

void OVAdResourceLoader::resourceLoaderLoadRequest(
    const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
    const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) {
  if (!loadingRequest) {
    return;
  }
  const RequestedRange range = requestedRangeOf(*loadingRequest);
  platform::URLRequest request = loadingRequest->request();
  if (range.offset < 0) {
    loadingRequest->finishLoadingWithError(platform::makeURLError(platform::kURLErrorUnsupportedURL));
    return;
  }
  std::shared_ptr<OVAdByteRangeStore> store = usesRangeStore(*loadingRequest, range) ? rangeStore_ : nullptr;
  if (store) {
    if (const auto held = store->read(request.url, static_cast<std::uint64_t>(range.offset),
                                      static_cast<std::uint64_t>(range.length))) {
      answerFromStore(*loadingRequest, *held);
      return;
    }
  }
  if (auto rangeValue = OVAdRangeHeaderValue(range.offset, range.length)) {
    request.setValue(std::move(*rangeValue), kRangeField);
  }

  const QNVAssetResourceLoadingRequest* key = loadingRequest.get();
  auto handler = [weakSelf = weak_from_this(), weakRequest = std::weak_ptr(loadingRequest), key, range,
                  maximumBytes = limits_.maximumResourceBytes, store = std::move(store)](
                     const std::shared_ptr<OVAdURLSessionTaskContainer>& sessionRequest,
                     const std::optional<platform::HTTPURLResponse>& response, const platform::Bytes& data,
                     const std::optional<platform::Error>& error, double) {
    const auto self = weakSelf.lock();
    // A request cancelled meanwhile has no entry any more: it gets no answer.
    if (!self || !self->removeVideoRequestForKey(key, sessionRequest)) {
      return;
    }
    if (const auto pending = weakRequest.lock()) {
      answer(*pending, range, maximumBytes, response, data, error, store.get());
    }
  };
  // The lock spans the hand-over, so the handler (which never runs on this
  // thread) finds the entry in place however fast the answer comes.
  std::lock_guard lock(pendingMutex_);
  const auto sessionRequest = session_->requestWithURLRequest(std::move(request), std::move(handler));
  pendingVideoRequests_[key] = PendingVideoRequest{loadingRequest, sessionRequest};
}

void OVAdResourceLoader::resourceLoaderCancelLoadingRequest(
    const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader,
    const std::shared_ptr<QNVAssetResourceLoadingRequest>& loadingRequest) {
  if (!loadingRequest) {
    return;
  }
  if (const auto pending = removeVideoRequestForKey(loadingRequest.get(), nullptr)) {
    pending->sessionRequest->cancel();
  }
}

bool OVAdResourceLoader::resourceLoaderHasPrefetchedDataForUrl(
    const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader, const platform::URL& url) {
  return false;
}

std::size_t OVAdResourceLoader::pendingVideoRequestCount() const {
  std::lock_guard lock(pendingMutex_);
  return pendingVideoRequests_.size();
}

std::optional<OVAdResourceLoader::PendingVideoRequest> OVAdResourceLoader::removeVideoRequestForKey(
    const QNVAssetResourceLoadingRequest* loadingRequest,
    const std::shared_ptr<OVAdURLSessionTaskContainer>& sessionRequest) {
  std::lock_guard lock(pendingMutex_);
  const auto found = pendingVideoRequests_.find(loadingRequest);
  if (found == pendingVideoRequests_.end() || (sessionRequest && found->second.sessionRequest != sessionRequest)) {
    return std::nullopt;
  }
  PendingVideoRequest pending = std::move(found->second);
  pendingVideoRequests_.erase(found);
  return pending;
}

}  // namespace plexora

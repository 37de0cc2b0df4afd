#include "util/qnv/asset/QNVMp4DataLoader.h"

#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kDescription = "<QNVMp4DataLoader %p>";
constexpr const char* kSecondDelegate = "MP4 DataLoader setDelegate called with non-nil delegate";
constexpr const char* kNoFetcher = "delegate must be set for QNVPlayer";
constexpr const char* kNotRequesting = "%s not requesting more data since newoffset(%llu) <= current offset(%llu)";
constexpr const char* kSeeking = "%s Seeking to offset:%llu";
constexpr const char* kStarting = "%s starting download with offset:%llu length:%llu req:%p";
constexpr const char* kReceived = "%s Received data at offset:%llu with length: %lu";
constexpr const char* kStaleData = "%s ignoring loading request from stale request";
constexpr const char* kCompleted = "%s Video download completed for request offset: %llu length:%lu";
constexpr const char* kStaleFinish = "%s ignoring finished request from stale request";
constexpr const char* kPartial =
    "%s received partial data on completed request. Updating request offset to receive offset";
constexpr const char* kFailed = "%s download failed with error: %s";

// Enough for the first box headers; the asset asks again once the header's
// size is known.
constexpr uint64_t kFirstBoxHeadersLength = 40;
// After a header of known size when no bitrate is known.
constexpr uint64_t kBytesAfterHeaderWithoutBitrate = 0x20000;
constexpr double kBytesPerBit = 0.125;

using ull = unsigned long long;

}  // namespace

std::shared_ptr<QNVMp4DataLoader> QNVMp4DataLoader::initWithUrl(platform::URL url, uint64_t bitrate,
                                                                std::shared_ptr<QNVDataBlockDistributor> distributor,
                                                                platform::DispatchQueuePtr dispatchQueue, bool async) {
  return std::shared_ptr<QNVMp4DataLoader>(
      new QNVMp4DataLoader(std::move(url), bitrate, std::move(distributor), std::move(dispatchQueue), async));
}

QNVMp4DataLoader::QNVMp4DataLoader(platform::URL url, uint64_t bitrate,
                                   std::shared_ptr<QNVDataBlockDistributor> distributor,
                                   platform::DispatchQueuePtr dispatchQueue, bool async)
    : resourceLoader_(std::make_shared<QNVAssetResourceLoader>()),
      dataBlockDistributor_(std::move(distributor)),
      dispatchQueue_(std::move(dispatchQueue)),
      bitrate_(bitrate),
      url_(std::move(url)),
      async_(async) {}

std::string QNVMp4DataLoader::description() const {
  char text[64];
  std::snprintf(text, sizeof text, kDescription, static_cast<const void*>(this));
  return text;
}

void QNVMp4DataLoader::setDelegate(std::weak_ptr<QNVDataLoaderDelegate> delegate) {
  if (delegate_.lock()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kSecondDelegate);
    return;
  }
  delegate_ = std::move(delegate);
}

void QNVMp4DataLoader::fetchFirstRequestForSeconds(uint32_t seconds, uint64_t initializationAtomSize,
                                                   QNVTrackIndex /*track*/) {
  QNV_SOFT_ASSERT(resourceLoader_ && resourceLoader_->delegate(), "%s", kNoFetcher);
  uint64_t end = kFirstBoxHeadersLength;
  if (initializationAtomSize > 0 && bitrate_ > 0) {
    end = static_cast<uint64_t>(static_cast<double>(initializationAtomSize) +
                                seconds * (static_cast<double>(bitrate_) * kBytesPerBit));
  } else if (initializationAtomSize > 0) {
    end = initializationAtomSize + kBytesAfterHeaderWithoutBitrate;
  }
  if (end <= receiveOffset_) return;
  fetch(receiveOffset_, end - receiveOffset_);
}

void QNVMp4DataLoader::fetchToOffset(uint64_t offset, QNVTrackIndex /*track*/) {
  if (requestOffset_ >= offset) {
    OV_LOG(kOVAdLogLevelVerbose, kNotRequesting, description().c_str(), static_cast<ull>(offset),
           static_cast<ull>(requestOffset_));
    return;
  }
  fetch(requestOffset_, offset - requestOffset_);
}

void QNVMp4DataLoader::seekForwardToOffset(uint64_t offset, QNVTrackIndex /*track*/) {
  OV_LOG(kOVAdLogLevelDebug, kSeeking, description().c_str(), static_cast<ull>(offset));
  requestOffset_ = offset;
  receiveOffset_ = offset;
}

void QNVMp4DataLoader::resetWithNewVideoDataBlockDistributor(std::shared_ptr<QNVDataBlockDistributor> video,
                                                             std::shared_ptr<QNVDataBlockDistributor> /*audio*/) {
  requestOffset_ = 0;
  receiveOffset_ = 0;
  fullyLoaded_ = false;
  dataBlockDistributor_ = std::move(video);
}

void QNVMp4DataLoader::cancelRequests() {
  if (auto request = std::move(currentResourceLoaderRequest_)) {
    currentResourceLoaderRequest_.reset();
    auto resourceLoader = resourceLoader_;
    QNVRunOnDelegateQueue(*resourceLoader, async_, [resourceLoader, request] {
      if (auto fetcher = resourceLoader->delegate()) fetcher->resourceLoaderCancelLoadingRequest(resourceLoader, request);
    });
  }
  receiveOffset_ = 0;
}

void QNVMp4DataLoader::fetch(uint64_t offset, uint64_t length) {
  QNV_SOFT_ASSERT(!async_ || dispatchQueue_->isCurrent(), "%s", "the MP4 data loader runs on its asset's queue");
  const std::weak_ptr<QNVMp4DataLoader> weakSelf = weak_from_this();
  const bool async = async_;
  const platform::DispatchQueuePtr queue = dispatchQueue_;
  const uint64_t serial = ++requestSerial_;

  auto information = std::make_shared<QNVContentInformationRequest>();
  auto dataRequest = std::make_shared<QNVDataRequest>(
      static_cast<int64_t>(offset), static_cast<int64_t>(length),
      [weakSelf, async, queue, serial](platform::ByteView data, uint64_t at, QNVDataRequest&) {
        // The fetcher's buffer is only lent for the call.
        QNVDispatchAsyncIfNeeded(async, queue, [weakSelf, bytes = platform::Bytes(data.begin(), data.end()), at, serial] {
          if (auto self = weakSelf.lock()) self->received(bytes, at, serial);
        });
      });
  auto loadingRequest = std::make_shared<QNVLoadingRequest>(
      information, dataRequest, platform::URLRequest(url_.absoluteString()),
      [weakSelf, async, queue, serial](const std::optional<platform::Error>& error, QNVLoadingRequest& request) {
        const auto& data = request.data();
        QNVDispatchAsyncIfNeeded(async, queue,
                                 [weakSelf, error, serial, contentLength = request.contentInformation()->contentLength(),
                                  requestedOffset = data->requestedOffset(), requestedLength = data->requestedLength()] {
                                   if (auto self = weakSelf.lock()) {
                                     self->completed(error, serial, contentLength, requestedOffset, requestedLength);
                                   }
                                 });
      });

  OV_LOG(kOVAdLogLevelDebug, kStarting, description().c_str(), static_cast<ull>(offset), static_cast<ull>(length),
         static_cast<const void*>(loadingRequest.get()));
  requestOffset_ = offset + length;
  currentResourceLoaderRequest_ = loadingRequest;
  auto resourceLoader = resourceLoader_;
  QNVRunOnDelegateQueue(*resourceLoader, async_, [resourceLoader, loadingRequest] {
    if (auto fetcher = resourceLoader->delegate()) fetcher->resourceLoaderLoadRequest(resourceLoader, loadingRequest);
  });
}

void QNVMp4DataLoader::received(platform::Bytes bytes, uint64_t offset, uint64_t serial) {
  OV_LOG(kOVAdLogLevelVerbose, kReceived, description().c_str(), static_cast<ull>(offset),
         static_cast<unsigned long>(bytes.size()));
  if (!currentResourceLoaderRequest_ || serial != requestSerial_) {
    OV_LOG(kOVAdLogLevelDebug, kStaleData, description().c_str());
    return;
  }
  const uint64_t end = offset + bytes.size();
  if (!bytes.empty()) {
    dataBlockDistributor_->deliverData(std::make_shared<const platform::Bytes>(std::move(bytes)), offset);
  }
  if (end > receiveOffset_) receiveOffset_ = end;
  if (auto delegate = delegate_.lock()) delegate->dataWasReceivedForTrack(kQNVVideoTrack, false);
}

void QNVMp4DataLoader::completed(const std::optional<platform::Error>& error, uint64_t serial, int64_t contentLength,
                                 int64_t requestedOffset, int64_t requestedLength) {
  OV_LOG(kOVAdLogLevelDebug, kCompleted, description().c_str(), static_cast<ull>(requestedOffset),
         static_cast<unsigned long>(requestedLength));
  if (!currentResourceLoaderRequest_ || serial != requestSerial_) {
    OV_LOG(kOVAdLogLevelDebug, kStaleFinish, description().c_str());
    return;
  }
  if (fileSize_ == 0 && contentLength > 0) fileSize_ = static_cast<uint64_t>(contentLength);
  if (receiveOffset_ != requestOffset_) {
    OV_LOG(kOVAdLogLevelDebug, kPartial, description().c_str());
    requestOffset_ = receiveOffset_;
  }
  // Finished either way: whatever it still sends is stale.
  currentResourceLoaderRequest_.reset();
  const auto delegate = delegate_.lock();
  if (error) {
    OV_LOG(kOVAdLogLevelWarn, kFailed, description().c_str(), error->localizedDescription().c_str());
    if (delegate) delegate->loadingDidFailWithError(*error);
    return;
  }
  fullyLoaded_ = fileSize_ > 0 && receiveOffset_ >= fileSize_;
  if (delegate) delegate->dataWasReceivedForTrack(kQNVVideoTrack, true);
}

}  // namespace plexora

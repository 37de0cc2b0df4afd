// The fetcher's answers, back on the loader's queue: bytes go to the
// distributor (or only count, for the disk cache) and the delegate hears of
// every arrival, completion and failure.
#include "platform/net/URLError.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashDataLoader.h"

namespace plexora {

namespace {

constexpr const char* kMismatchedDiskCache = "Mistmatched disk cache values, forDiskCache=%d, DataRequest.isForDiskCache=%d";
constexpr const char* kStaleData = "%s race: ignoring data callback from stale request for track: %ld";
constexpr const char* kStaleDiskCache = "%s race: ignoring disk cache callback from stale request for track: %ld";
constexpr const char* kUnexpectedReceiveOffset = "Unexptected offset:%llu bytesReceived:%llu";
constexpr const char* kUpdatingReceived = "Updating bytesReceived:%llu based on offset:%llu + length:%lu";
constexpr const char* kInitialBytes = "%s Received initial bytes of length:%lu";
constexpr const char* kCompleted = "%s Download completed for request offset:%llu length:%lu track:%d urlIndex:%d";
constexpr const char* kStaleFinish = "%s race: ignoring finished data callback from stale request for track: %ld";
constexpr const char* kUnfinishedSegment =
    "Possible data loss and A/V desync: We fetch one segment at a time but didn't finish segment";
constexpr const char* kRequestedTooLow =
    "%s correcting for bytesRequested too low. Updating request offset to receive offset, tracker:%s";
constexpr const char* kPartialData =
    "%s received partial data on completed request. Updating request offset to receive offset, tracker:%s";
constexpr const char* kDiskCacheFailed = "%s disk cache request failed for track:%ld: %s";
constexpr const char* kPrefetchedBytesKey = "prefetched_bytes_cached";

using ull = unsigned long long;

// Whether a request that ended without error delivered all it asked for.
// An open-ended request (length 0) asks for the rest of the resource: it is
// whole only when bytes came and the body ended, at the resource's end when
// the fetcher told its size.
bool receivedWholeRange(const QNVDataRequest& data, int64_t contentLength) {
  if (data.requestedLength() > 0) return data.requestedOffset() + data.requestedLength() <= data.currentOffset();
  return data.currentOffset() > data.requestedOffset() && (contentLength <= 0 || data.currentOffset() >= contentLength);
}

}  // namespace

void QNVDashDataLoader::dataCallbackHelper(platform::Bytes data, uint64_t offset,
                                           const std::shared_ptr<QNVDataRequest>& dataRequest, bool forDiskCache) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  if (forDiskCache != dataRequest->isForDiskCache) {
    OV_LOG(kOVAdLogLevelWarn, kMismatchedDiskCache, forDiskCache, dataRequest->isForDiskCache);
  }
  if (!dataRequest->isForDiskCache) {
    dataCallback(std::move(data), offset, *dataRequest);
    return;
  }
  const auto& current = downloadTracker_->diskCacheResourceLoaderRequest;
  // A cancelled disk-cache request's late bytes would move the figures of
  // the one that replaced it.
  if (!current || current->dataRequest().get() != dataRequest.get()) {
    OV_LOG(kOVAdLogLevelVerbose, kStaleDiskCache, description().c_str(), static_cast<long>(track_));
    return;
  }
  diskCacheBytesReceived_ = offset + data.size();
  const double oneSecondOfBytes = bitrate() * 0.125;
  if (static_cast<double>(diskCacheBytesReceived_ - diskCacheBytesNotified_) > oneSecondOfBytes) {
    diskCacheBytesNotified_ = diskCacheBytesReceived_;
    notifyData(false, false, dataRequest->isForDiskCache);
  }
}

void QNVDashDataLoader::dataCallback(platform::Bytes data, uint64_t offset, const QNVDataRequest& dataRequest) {
  auto& tracker = *downloadTracker_;
  const auto& current = tracker.resourceLoaderRequest();
  if (!current || current->dataRequest().get() != &dataRequest) {
    OV_LOG(kOVAdLogLevelVerbose, kStaleData, description().c_str(), static_cast<long>(track_));
    return;
  }
  const bool segmented = playlistData_->isSegmented();
  if (!segmented && !vodMidstreamSwitchEnabled_ && offset != tracker.bytesReceived) {
    OV_LOG(kOVAdLogLevelWarn, kUnexpectedReceiveOffset, static_cast<ull>(offset),
           static_cast<ull>(tracker.bytesReceived));
  }
  const uint64_t length = data.size();
  if (length > 0) {
    dataBlockDistributor_->deliverData(std::make_shared<const platform::Bytes>(std::move(data)), tracker.bytesReceived);
  }
  tracker.markBytesReceived(length);
  inMemoryCacheBytesReceived_ += length;
  if (segmented) tracker.bytesRequested = tracker.bytesReceived;
  if (!vodMidstreamSwitchEnabled_ && offset + length > tracker.bytesReceived) {
    OV_LOG(kOVAdLogLevelWarn, kUpdatingReceived, static_cast<ull>(tracker.bytesReceived), static_cast<ull>(offset),
           static_cast<unsigned long>(length));
    tracker.bytesReceived = offset + length;
  }
  if (!segmented && offset == 0) {
    OV_LOG(kOVAdLogLevelDebug, kInitialBytes, description().c_str(), static_cast<unsigned long>(length));
  }
  notifyData(false, false, dataRequest.isForDiskCache);
}

void QNVDashDataLoader::requestFinishCallbackHelper(const Completion& completion, bool forDiskCache) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  if (forDiskCache) {
    diskCacheFinished(completion);
  } else {
    dataFinished(completion);
  }
}

void QNVDashDataLoader::diskCacheFinished(const Completion& completion) {
  if (downloadTracker_->diskCacheResourceLoaderRequest != completion.request) {
    OV_LOG(kOVAdLogLevelVerbose, kStaleDiskCache, description().c_str(), static_cast<long>(track_));
    return;
  }
  downloadTracker_->diskCacheResourceLoaderRequest.reset();
  diskCacheBytesNotified_ = diskCacheBytesReceived_;
  if (completion.error) {
    // Playback does not need the disk cache, so its failure is no reason
    // to stop; but it is not a completed cache either.
    OV_LOG(kOVAdLogLevelWarn, kDiskCacheFailed, description().c_str(), static_cast<long>(track_),
           completion.error->localizedDescription().c_str());
    if (auto delegate = delegate_.lock()) delegate->reportWarning(*completion.error);
    return;
  }
  const auto& data = *completion.request->data();
  notifyData(true, receivedWholeRange(data, completion.request->contentInformation()->contentLength()), true);
}

void QNVDashDataLoader::dataFinished(const Completion& completion) {
  const QNVLoadingRequest& request = *completion.request;
  const QNVDataRequest& data = *request.data();
  const int64_t contentLength = request.contentInformation()->contentLength();
  OV_LOG(kOVAdLogLevelVerbose, kCompleted, description().c_str(), static_cast<ull>(data.requestedOffset()),
         static_cast<unsigned long>(data.requestedLength()), static_cast<int>(track_),
         playlistData_->fetchIndexForTrack(track_));
  auto& tracker = *downloadTracker_;
  if (tracker.resourceLoaderRequest() != completion.request) {
    OV_LOG(kOVAdLogLevelVerbose, kStaleFinish, description().c_str(), static_cast<long>(track_));
    return;
  }
  const bool segmented = playlistData_->isSegmented();
  // A segment's size says nothing of the file a fragmented stream reads.
  if (fileSize_ == 0 && !segmented && contentLength > 0) fileSize_ = static_cast<uint64_t>(contentLength);

  // The body of a whole-segment request is the whole resource: fewer bytes
  // than its size mean the segment was cut short, and the segments behind
  // it would be laid at the wrong place.
  const int64_t receivedThisRequest = data.currentOffset() - data.requestedOffset();
  const bool segmentCutShort = segmented && !completion.error && contentLength > receivedThisRequest;
  if (segmentCutShort) OV_LOG(kOVAdLogLevelWarn, "%s", kUnfinishedSegment);

  if (tracker.bytesRequested != tracker.bytesReceived) {
    OV_LOG(kOVAdLogLevelDebug, tracker.bytesRequested <= tracker.bytesReceived ? kRequestedTooLow : kPartialData,
           description().c_str(), tracker.description().c_str());
    tracker.bytesRequested = tracker.bytesReceived;
  }
  if (const platform::Value* prefetched = request.metadataDictionary().find(kPrefetchedBytesKey)) {
    tracker.bytesFromPrefetchCache += static_cast<uint64_t>(prefetched->toInt64());
  }
  const uint64_t finishedLength =
      segmented ? static_cast<uint64_t>(std::max<int64_t>(contentLength, 0)) : static_cast<uint64_t>(data.requestedLength());
  tracker.markRequestAsFinishedWithRequestLength(finishedLength);

  if (completion.error) {
    notifyFailure(*completion.error);
  } else if (segmentCutShort) {
    notifyFailure(platform::makeURLError(platform::kURLErrorNetworkConnectionLost));
  } else {
    notifyData(true, receivedWholeRange(data, contentLength), false);
  }
}

}  // namespace plexora

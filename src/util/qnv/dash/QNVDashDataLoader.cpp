// Creation, description, the progress figures and cancellation. Fetching
// is in QNVDashDataLoaderFetching.cpp, the fetcher's answers in
// QNVDashDataLoaderAnswers.cpp.
#include "util/qnv/dash/QNVDashDataLoader.h"

#include <algorithm>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "QNVDashDataLoader";
constexpr const char* kUnparsedDescription = "<DataLoader for unparsed playlist>";
constexpr const char* kSegmentedDescription = "<%s %p vid:%s tr:%d rec:%llu urlIdx:%d urlCt:%lu>";
constexpr const char* kFragmentedDescription = "<%s %p vid:%s tr:%d rep:%s tracker:%s>";
constexpr const char* kNil = "(null)";
constexpr const char* kNilTracker = "nil DownloadTracker provided";
constexpr const char* kNilVideoRepresentation = "nil video representationId provided";
constexpr const char* kSecondDelegate = "DASH DataLoader setDelegate called with non-nil delegate";
constexpr const char* kCanceling = "%s canceling request for track:%d";
constexpr const char* kNotFragmentedFullyDownloaded = "fragmentedIsFullyDownloaded called for non-fragmented video";
constexpr const char* kFileSizeNotFragmented = "fileSize called for non-fragmented";

// Bytes per bit: a bit rate times this is bytes per second.
constexpr double kBytesPerBit = 0.125;

using ull = unsigned long long;

template <typename... Args>
std::string formatted(const char* format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  std::string text(static_cast<size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

}  // namespace

std::shared_ptr<QNVDashDataLoader> QNVDashDataLoader::initWithPlaylistData(
    std::shared_ptr<QNVDashPlaylistData> playlistData, std::shared_ptr<QNVDashDownloadTracker> downloadTracker,
    std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
    std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor, bool enablePrefetchLookupWhenBypassCache,
    QNVTrackIndex track, std::optional<std::string> representationId) {
  QNV_SOFT_ASSERT(downloadTracker != nullptr, "%s", kNilTracker);
  QNV_SOFT_ASSERT(track == kQNVAudioTrack || representationId.has_value(), "%s", kNilVideoRepresentation);
  return std::shared_ptr<QNVDashDataLoader>(new QNVDashDataLoader(
      std::move(playlistData), std::move(downloadTracker), std::move(resourceLoader), std::move(dataBlockDistributor),
      enablePrefetchLookupWhenBypassCache, track, std::move(representationId)));
}

QNVDashDataLoader::QNVDashDataLoader(std::shared_ptr<QNVDashPlaylistData> playlistData,
                                     std::shared_ptr<QNVDashDownloadTracker> downloadTracker,
                                     std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
                                     std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor,
                                     bool enablePrefetchLookupWhenBypassCache, QNVTrackIndex track,
                                     std::optional<std::string> representationId)
    : resourceLoader_(std::move(resourceLoader)),
      dataBlockDistributor_(std::move(dataBlockDistributor)),
      dispatchQueue_(QNVMediaStateQueue()),
      track_(track),
      representationId_(std::move(representationId)),
      downloadTracker_(std::move(downloadTracker)),
      playlistData_(std::move(playlistData)),
      enablePrefetchLookupWhenBypassCache_(enablePrefetchLookupWhenBypassCache) {}

std::string QNVDashDataLoader::description() const {
  if (!playlistData_->isParsed) return kUnparsedDescription;
  const auto& videoID = resourceLoader_->videoID();
  const char* vid = videoID ? videoID->c_str() : kNil;
  if (playlistData_->isSegmented()) {
    return formatted(kSegmentedDescription, kClassName, static_cast<const void*>(this), vid, static_cast<int>(track_),
                     static_cast<ull>(downloadTracker_->bytesReceived), playlistData_->fetchIndexForTrack(track_),
                     static_cast<unsigned long>(playlistData_->timelineEntries(track_).size()));
  }
  return formatted(kFragmentedDescription, kClassName, static_cast<const void*>(this), vid, static_cast<int>(track_),
                   representationId_ ? representationId_->c_str() : kNil, downloadTracker_->description().c_str());
}

void QNVDashDataLoader::setDelegate(std::weak_ptr<QNVDashDataLoaderDelegate> delegate) {
  if (delegate_.lock()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kSecondDelegate);
    return;
  }
  delegate_ = std::move(delegate);
}

uint64_t QNVDashDataLoader::fetchedOffset() const {
  return std::max(downloadTracker_->bytesReceived, diskCacheBytesReceived_);
}

void QNVDashDataLoader::resetWithDataBlockDistributor(std::shared_ptr<QNVDataBlockDistributor> distributor) {
  dataBlockDistributor_ = std::move(distributor);
}

void QNVDashDataLoader::cancelRequest(const std::shared_ptr<QNVAssetResourceLoadingRequest>& request) {
  if (!request) return;
  auto resourceLoader = resourceLoader_;
  QNVRunOnDelegateQueue(*resourceLoader, async_, [resourceLoader, request] {
    if (auto fetcher = resourceLoader->delegate()) fetcher->resourceLoaderCancelLoadingRequest(resourceLoader, request);
  });
}

void QNVDashDataLoader::cancelDiskCache() {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  if (!downloadTracker_->diskCacheResourceLoaderRequest) return;
  cancelRequest(downloadTracker_->diskCacheResourceLoaderRequest);
  downloadTracker_->diskCacheResourceLoaderRequest.reset();
}

void QNVDashDataLoader::cancelRequests() {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  if (downloadTracker_->fetchInProgress()) {
    OV_LOG(kOVAdLogLevelDebug, kCanceling, description().c_str(), static_cast<int>(track_));
    cancelRequest(downloadTracker_->resourceLoaderRequest());
    downloadTracker_->markRequestAsCanceled();
  }
  cancelDiskCache();
}

uint32_t QNVDashDataLoader::bitrate() const {
  return playlistData_->bitrateForRepresentation(representationText(), track_);
}

float QNVDashDataLoader::approxInMemoryFetchedSecondsBasedOnBitrate() const {
  const uint32_t rate = bitrate();
  if (rate == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(downloadTracker_->bytesReceived) / (rate * kBytesPerBit));
}

float QNVDashDataLoader::approxDiskCachedSecondsBasedOnBitrate() const {
  const uint32_t rate = bitrate();
  if (rate == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(diskCacheBytesReceived_) / (rate * kBytesPerBit));
}

bool QNVDashDataLoader::diskCacheFetchInProgress() const {
  return downloadTracker_->diskCacheResourceLoaderRequest != nullptr;
}

float QNVDashDataLoader::inMemoryFetchPercentage() const {
  if (fileSize_ == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(inMemoryCacheBytesReceived_) / static_cast<double>(fileSize_));
}

float QNVDashDataLoader::diskCachePercentage() const {
  if (fileSize_ == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(diskCacheBytesReceived_) / static_cast<double>(fileSize_));
}

bool QNVDashDataLoader::fragmentedIsFullyDownloaded() const {
  QNV_SOFT_ASSERT(playlistData_->isFragmented(), "%s", kNotFragmentedFullyDownloaded);
  if (fileSize_ == 0) return false;
  return downloadTracker_->lastRequestRepresentationId() == representationId_ &&
         downloadTracker_->lastRequestReceiveOffset() == fileSize_;
}

uint64_t QNVDashDataLoader::fileSize() const {
  if (!playlistData_->isFragmented()) OV_LOG(kOVAdLogLevelWarn, "%s", kFileSizeNotFragmented);
  return fileSize_;
}

uint32_t QNVDashDataLoader::unfetchedSegmentCount() const {
  const auto count = static_cast<int64_t>(playlistData_->timelineEntries(track_).size());
  return static_cast<uint32_t>(count - playlistData_->fetchIndexForTrack(track_));
}

std::optional<platform::URL> QNVDashDataLoader::segmentedInitUrl() const {
  return playlistData_->segmentedInitUrlForRepresentation(representationText(), track_);
}

std::optional<platform::URL> QNVDashDataLoader::segmentedUrl() const {
  const auto& timeline = playlistData_->timelineEntries(track_);
  const int32_t index = playlistData_->fetchIndexForTrack(track_);
  if (index < 0 || static_cast<size_t>(index) >= timeline.size()) return std::nullopt;
  return timeline[static_cast<size_t>(index)]->url();
}

int32_t QNVDashDataLoader::segmentedCurrentRequestOffset() const { return playlistData_->fetchIndexForTrack(track_) - 1; }

int32_t QNVDashDataLoader::indexToFetchTo() const { return playlistData_->indexToForceFetchTo; }

void QNVDashDataLoader::_forTestingMakeSynchronous() {
  async_ = false;
  dispatchQueue_ = platform::DispatchQueue::main();
}

void QNVDashDataLoader::_forTestingBypassPrefetch() {
  prefetchFirstDataSegment_ = false;
}

bool QNVDashDataLoader::isOnDispatchQueue() const { return !async_ || dispatchQueue_->isCurrent(); }

std::string QNVDashDataLoader::representationText() const { return representationId_.value_or(std::string()); }

void QNVDashDataLoader::notifyData(bool isComplete, bool allRequestedBytesReceived, bool forDiskCache) {
  if (auto delegate = delegate_.lock()) {
    delegate->dataWasReceivedForTrack(track_, representationText(), isComplete, allRequestedBytesReceived,
                                      forDiskCache);
  }
}

void QNVDashDataLoader::notifyFailure(const platform::Error& error) {
  if (auto delegate = delegate_.lock()) delegate->loadingDidFailWithError(error);
}

}  // namespace plexora

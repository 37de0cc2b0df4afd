// Deciding what to fetch and starting the requests: segments in timeline
// order for segmented streams, byte ranges for fragmented ones, and the
// disk-cache ranges.
#include <string_view>

#include "platform/foundation/Base64.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashDataLoader.h"

namespace plexora {

namespace {

constexpr const char* kFragmentedNoOp = "%s not requesting more data since newoffset(%llu) <= current offset(%llu)";
constexpr const char* kSegmentedNoOp = "%s not requesting more data since target segment(%d) <= requested segment(%d)";
constexpr const char* kLiveNoOp = "%s not requesting more data since this track(%ld) index(%d) > other track index(%d)";
constexpr const char* kSegmentForFragmented = "fetch segment called for fragmented video";
constexpr const char* kTimelinesOutOfAlignment = "Timeline entries out of alignment for A/V";
constexpr const char* kAllSegmentsRequested = "%s ignoring request for track:%d: requested all segments";
constexpr const char* kPreviousNotReceived = "%s ignoring request: data has not been received for the previous request";
constexpr const char* kNilSegmentUrl = "%s segmented url is nil. track:%d index:%d";
constexpr const char* kNilInitUrl = "%s segmented init url is nil. track:%d";
constexpr const char* kNilFragmentedUrl = "%s fragmented url is nil. track:%d";
constexpr const char* kUsingInlineInit = "%s using init data from manifest";
constexpr const char* kInvalidInlineInit = "init segment must be valid";
constexpr const char* kFragmentedForSegmented = "fetch fragmented called for segmented video";
constexpr const char* kWholeFileFetch =
    "fetching 0 bytes for fragmented will fetch the whole file -- this is probably not correct";
constexpr const char* kFewerRequested = "Fewer bytes requested than received: %s";
constexpr const char* kUnexpectedRequestOffset = "Unexptected offset:%llu bytesRequested:%llu";
constexpr const char* kDiskCacheOnlyVod = "we only support disk cache for vod";
constexpr const char* kSeekingForward = "%s seeking forward to offset:%llu track:%ld";
constexpr const char* kSeekPastEnd = "segmented seekForwardToOffset tried to exceed index bound %llu/%lu";
constexpr const char* kSegmentedSeekBack = "%s segmented seekForwardToOffset used to seek back from %d to %llu for track:%d";
constexpr const char* kFragmentedSeekBack = "fragmented seekForwardToOffset used to seek back: %llu > %llu, track:%d";
constexpr const char* kStarting = "%s starting download with track:%d urlIndex:%d offset:%llu length:%llu req:%p url:%s";
constexpr const char* kPrefetching = "%s prefetching segment";

constexpr const char* kAssetLoadingErrorDomain = "QNVAssetLoadingError";
constexpr int64_t kEmptyInlineInitCode = 560;

// A live track fetches freely until it holds this many segments; after
// that it stays at most one segment ahead of the other track.
constexpr int32_t kLiveSegmentsBeforeAlignment = 5;

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kBase64GroupLength = 4;

using ull = unsigned long long;

// The manifest's text may be wrapped or carry stray characters: only the
// alphabet counts, and the padding is made up again. Empty when the text
// holds no whole byte.
platform::Bytes decodeInlineBase64(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if (kBase64Alphabet.find(c) != std::string_view::npos) clean.push_back(c);
  }
  if (clean.size() % kBase64GroupLength == 1) clean.pop_back();
  while (clean.size() % kBase64GroupLength != 0) clean.push_back('=');
  return platform::base64Decode(clean).value_or(platform::Bytes());
}

}  // namespace

void QNVDashDataLoader::fetchToOffset(uint64_t target) { fetchFromOffset(downloadTracker_->bytesRequested, target); }

void QNVDashDataLoader::fetchFromOffset(uint64_t start, uint64_t target) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  if (!playlistData_->isSegmented()) {
    if (target > start) {
      ++fragmentedFetchCount_;
      fetchNextFragmentedRangeAtOffset(start, target - start, false);
    } else {
      ++fragmentedNoOpFetchCount_;
      OV_LOG(kOVAdLogLevelVerbose, kFragmentedNoOp, description().c_str(), static_cast<ull>(target),
             static_cast<ull>(start));
    }
    return;
  }
  const int32_t index = playlistData_->fetchIndexForTrack(track_);
  if (!playlistData_->isLive()) {
    if (index <= static_cast<int32_t>(target)) {
      fetchNextSegment();
    } else {
      OV_LOG(kOVAdLogLevelVerbose, kSegmentedNoOp, description().c_str(), static_cast<int32_t>(target), index - 1);
    }
    return;
  }
  const QNVTrackIndex other = track_ == kQNVVideoTrack ? kQNVAudioTrack : kQNVVideoTrack;
  const int32_t otherIndex = playlistData_->fetchIndexForTrack(other);
  const bool videoWithoutAudio = track_ == kQNVVideoTrack && !playlistData_->containsAudioTrack;
  if (index < kLiveSegmentsBeforeAlignment || index <= otherIndex || videoWithoutAudio) {
    fetchNextSegment();
  } else {
    OV_LOG(kOVAdLogLevelVerbose, kLiveNoOp, description().c_str(), static_cast<long>(track_), index, otherIndex);
  }
}

void QNVDashDataLoader::setUrlIndex(int32_t index) {
  if (track_ == kQNVAudioTrack) {
    playlistData_->audioFetchIndex = index;
  } else {
    playlistData_->videoFetchIndex = index;
  }
}

void QNVDashDataLoader::fetchNextSegment() {
  QNV_SOFT_ASSERT(playlistData_->isSegmented(), "%s", kSegmentForFragmented);
  if (track_ == kQNVAudioTrack && !playlistData_->containsAudioTrack) return;
  const auto& timeline = playlistData_->timelineEntries(track_);
  if (playlistData_->containsAudioTrack &&
      playlistData_->timelineEntries(kQNVVideoTrack).size() != playlistData_->timelineEntries(kQNVAudioTrack).size()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kTimelinesOutOfAlignment);
  }
  const int32_t index = playlistData_->fetchIndexForTrack(track_);
  if (index < 0 || static_cast<size_t>(index) >= timeline.size()) {
    OV_LOG(kOVAdLogLevelVerbose, kAllSegmentsRequested, description().c_str(), static_cast<int>(track_));
    return;
  }
  if (downloadTracker_->fetchInProgress()) {
    OV_LOG(kOVAdLogLevelVerbose, kPreviousNotReceived, description().c_str());
    return;
  }
  const std::optional<platform::URL> segmentUrl = timeline[static_cast<size_t>(index)]->url();

  if (!fetchedInitURL_) {
    if (playlistData_->encodedDataInitForRepresentation(representationText(), track_)) {
      handleInlineInitSegment();
      return;
    }
    const std::optional<platform::URL> initUrl = segmentedInitUrl();
    // A request without a URL can only fail, and would be asked for again
    // on every attempt.
    if (!initUrl) {
      OV_LOG(kOVAdLogLevelDebug, kNilInitUrl, description().c_str(), static_cast<int>(track_));
      return;
    }
    fetchedInitURL_ = true;
    fetchUrlRequest(platform::URLRequest(initUrl->absoluteString()), 0, 0, false, false);
    if (segmentUrl && prefetchFirstDataSegment_) {
      cachedSegmentURL_ = segmentUrl;
      prefetchSegmentedUrlRequest(platform::URLRequest(segmentUrl->absoluteString()));
    }
    return;
  }

  if (!segmentUrl) {
    // Left for a later playlist update to fill in; requesting it without a
    // URL would only fail, again and again.
    OV_LOG(kOVAdLogLevelDebug, kNilSegmentUrl, description().c_str(), static_cast<int>(track_), index);
    return;
  }
  const bool firstSegment = index == 0;
  setUrlIndex(index + 1);
  fetchUrlRequest(platform::URLRequest(segmentUrl->absoluteString()), 0, 0, firstSegment, false);
}

void QNVDashDataLoader::handleInlineInitSegment() {
  if (downloadTracker_->fetchInProgress()) return;
  OV_LOG(kOVAdLogLevelVerbose, kUsingInlineInit, description().c_str());
  const auto text = playlistData_->encodedDataInitForRepresentation(representationText(), track_);
  platform::Bytes data = decodeInlineBase64(text.value_or(std::string()));
  if (data.empty()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kInvalidInlineInit);
    notifyFailure(platform::Error(kAssetLoadingErrorDomain, kEmptyInlineInitCode));
    return;
  }
  const uint64_t length = data.size();
  auto synthetic = std::make_shared<QNVLoadingRequest>(nullptr, nullptr, platform::URLRequest(), nullptr);
  downloadTracker_->setRequest(synthetic, 0, length, representationText());
  downloadTracker_->bytesRequested += length;
  dataBlockDistributor_->deliverData(std::make_shared<const platform::Bytes>(std::move(data)),
                                     downloadTracker_->bytesReceived);
  downloadTracker_->markBytesReceived(length);
  inMemoryCacheBytesReceived_ += length;
  downloadTracker_->markRequestAsFinishedWithRequestLength(length);
  fetchedInitURL_ = true;
  notifyData(true, true, false);
}

void QNVDashDataLoader::fetchNextFragmentedRangeAtOffset(uint64_t offset, uint64_t length, bool forDiskCache) {
  QNV_SOFT_ASSERT(!playlistData_->isSegmented(), "%s", kFragmentedForSegmented);
  if (track_ == kQNVAudioTrack && !playlistData_->containsAudioTrack) return;
  const std::optional<platform::URL> url = playlistData_->fragmentedUrlForRepresentation(representationText(), track_);
  if (!url) {
    OV_LOG(kOVAdLogLevelDebug, kNilFragmentedUrl, description().c_str(), static_cast<int>(track_));
    return;
  }
  if (length == 0) OV_LOG(kOVAdLogLevelWarn, "%s", kWholeFileFetch);
  if (forDiskCache) {
    diskCacheBytesRequested_ = offset + length;
  } else {
    auto& tracker = *downloadTracker_;
    if (tracker.bytesRequested != tracker.bytesReceived) {
      if (tracker.bytesRequested < tracker.bytesReceived) {
        OV_LOG(kOVAdLogLevelWarn, kFewerRequested, tracker.description().c_str());
      }
      tracker.bytesRequested = tracker.bytesReceived;
    }
    if (!vodMidstreamSwitchEnabled_ && tracker.bytesRequested != offset) {
      OV_LOG(kOVAdLogLevelWarn, kUnexpectedRequestOffset, static_cast<ull>(offset),
             static_cast<ull>(tracker.bytesRequested));
    }
    tracker.bytesRequested += length;
  }
  fetchUrlRequest(platform::URLRequest(url->absoluteString()), offset, length, false, forDiskCache);
}

void QNVDashDataLoader::diskCacheToOffset(uint64_t end) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  QNV_SOFT_ASSERT(playlistData_->isFragmented(), "%s", kDiskCacheOnlyVod);
  const uint64_t from = fetchedOffset();
  const uint64_t to = end == 0 ? fileSize_ : end;
  if (to <= from) return;
  diskCacheBytesRequested_ = from;
  fetchNextFragmentedRangeAtOffset(from, to - from, true);
}

void QNVDashDataLoader::seekForwardToOffset(uint64_t offset) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  OV_LOG(kOVAdLogLevelVerbose, kSeekingForward, description().c_str(), static_cast<ull>(offset),
         static_cast<long>(track_));
  if (playlistData_->isSegmented()) {
    const size_t count = playlistData_->timelineEntries(track_).size();
    if (!playlistData_->isLive() && offset >= count) {
      OV_LOG(kOVAdLogLevelWarn, kSeekPastEnd, static_cast<ull>(offset), static_cast<unsigned long>(count));
      return;
    }
    const int32_t index = playlistData_->fetchIndexForTrack(track_);
    if (index >= 0 && static_cast<uint64_t>(index) > offset) {
      OV_LOG(kOVAdLogLevelDebug, kSegmentedSeekBack, description().c_str(), index, static_cast<ull>(offset),
             static_cast<int>(track_));
    }
    setUrlIndex(static_cast<int32_t>(offset));
    return;
  }
  auto& tracker = *downloadTracker_;
  if (tracker.bytesRequested > offset) {
    OV_LOG(kOVAdLogLevelWarn, kFragmentedSeekBack, static_cast<ull>(tracker.bytesRequested),
           static_cast<ull>(offset), static_cast<int>(track_));
  }
  tracker.bytesRequested = offset;
  tracker.bytesReceived = offset;
}

void QNVDashDataLoader::fetchUrlRequest(const platform::URLRequest& request, uint64_t offset, uint64_t length,
                                        bool firstSegment, bool forDiskCache) {
  QNV_SOFT_ASSERT(isOnDispatchQueue(), "%s", "");
  const std::weak_ptr<QNVDashDataLoader> weakSelf = weak_from_this();
  const bool async = async_;
  const platform::DispatchQueuePtr queue = dispatchQueue_;

  // The callbacks get the requests by reference; these let them hand the
  // very objects on, so an answer is matched by identity even after the
  // request was dropped and another took its address.
  auto dataRequestHolder = std::make_shared<std::weak_ptr<QNVDataRequest>>();
  auto loadingRequestHolder = std::make_shared<std::weak_ptr<QNVLoadingRequest>>();

  auto information = std::make_shared<QNVContentInformationRequest>();
  auto dataRequest = std::make_shared<QNVDataRequest>(
      static_cast<int64_t>(offset), static_cast<int64_t>(length),
      [weakSelf, async, queue, dataRequestHolder, forDiskCache](platform::ByteView data, uint64_t at, QNVDataRequest&) {
        // The fetcher's buffer is only lent for the call.
        QNVDispatchAsyncIfNeeded(async, queue,
                                 [weakSelf, bytes = platform::Bytes(data.begin(), data.end()), at,
                                  dataRequest = dataRequestHolder->lock(), forDiskCache]() mutable {
                                   auto self = weakSelf.lock();
                                   if (self && dataRequest) {
                                     self->dataCallbackHelper(std::move(bytes), at, dataRequest, forDiskCache);
                                   }
                                 });
      });
  dataRequest->isAudio = track_ == kQNVAudioTrack;
  if (playlistData_->isLive()) {
    // Only the first segment, prefetched beside the initialization segment,
    // may come from the fetcher's cache.
    dataRequest->bypassCache = !cachedSegmentURL_ || cachedSegmentURL_->absoluteString() != request.url;
  }
  dataRequest->isForDiskCache = forDiskCache;
  dataRequest->enablePrefetchLookupWhenBypassCache = enablePrefetchLookupWhenBypassCache_;
  dataRequest->firstRequest = firstSegment;
  *dataRequestHolder = dataRequest;

  auto loadingRequest = std::make_shared<QNVLoadingRequest>(
      information, dataRequest, request,
      [weakSelf, async, queue, loadingRequestHolder, forDiskCache](const std::optional<platform::Error>& error,
                                                                    QNVLoadingRequest&) {
        QNVDispatchAsyncIfNeeded(async, queue, [weakSelf, error, request = loadingRequestHolder->lock(), forDiskCache] {
          auto self = weakSelf.lock();
          if (self && request) self->requestFinishCallbackHelper(Completion{error, request}, forDiskCache);
        });
      });
  *loadingRequestHolder = loadingRequest;

  OV_LOG(kOVAdLogLevelVerbose, kStarting, description().c_str(), static_cast<int>(track_),
         playlistData_->fetchIndexForTrack(track_), static_cast<ull>(offset), static_cast<ull>(length),
         static_cast<const void*>(loadingRequest.get()), request.url.c_str());
  if (forDiskCache) {
    downloadTracker_->diskCacheResourceLoaderRequest = loadingRequest;
  } else {
    downloadTracker_->setRequest(loadingRequest, offset, length, representationText());
  }
  startOnFetcher(std::move(loadingRequest));
}

void QNVDashDataLoader::prefetchSegmentedUrlRequest(const platform::URLRequest& request) {
  auto dataRequest = std::make_shared<QNVDataRequest>(0, 0, nullptr);
  dataRequest->bypassCache = false;
  dataRequest->enablePrefetchLookupWhenBypassCache = false;
  auto loadingRequest = std::make_shared<QNVLoadingRequest>(std::make_shared<QNVContentInformationRequest>(),
                                                            std::move(dataRequest), request, nullptr);
  OV_LOG(kOVAdLogLevelVerbose, kPrefetching, description().c_str());
  startOnFetcher(std::move(loadingRequest));
}

void QNVDashDataLoader::startOnFetcher(std::shared_ptr<QNVAssetResourceLoadingRequest> request) {
  auto resourceLoader = resourceLoader_;
  QNVRunOnDelegateQueue(*resourceLoader, async_, [resourceLoader, request = std::move(request)] {
    if (auto fetcher = resourceLoader->delegate()) fetcher->resourceLoaderLoadRequest(resourceLoader, request);
  });
}

}  // namespace plexora

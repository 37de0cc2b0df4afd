// Downloads the bytes of one representation of one track of a DASH stream
// and hands them to that track's data block distributor. Two shapes:
// - fragmented (one file per representation): byte ranges of the file asked
//   for by offset, plus an optional second stream of ranges that only fills
//   the fetcher's disk cache and never reaches the distributor;
// - segmented (segment list or live template): the initialization segment
//   (from its URL, or decoded from the manifest's base64 text), then one
//   whole segment at a time in timeline order, laid end to end in the
//   distributor.
// It never fetches by itself: every request goes to the fetcher installed
// on the asset's resource loader, and every request's progress is booked in
// the track's download tracker. At most one playback request per track is
// in flight, plus one disk-cache request.
//
// What the delegate hears:
// - bytes arrived: isComplete NO;
// - a request ended without error: isComplete YES, with
//   allRequestedBytesReceived YES only when its whole range arrived (for an
//   open-ended request: some bytes arrived and the fetcher's total size was
//   reached);
// - a request failed, or a segment ended short of its size: a failure
//   (loadingDidFailWithError), never a completion; a disk-cache request that
//   failed is reported as a warning (reportWarning), since playback does not
//   depend on it.
//
// Thread safety: every member runs on the media-state queue (the dispatch
// queue of the loader); the fetcher is called on the resource loader's
// delegate queue; the fetcher's callbacks hop back to the media-state queue
// holding the loader weakly, so a released loader ignores late answers.
// Ownership: the asset owns one loader per representation through
// std::shared_ptr; the loader shares the playlist data, the tracker (with
// every loader of the track), the resource loader and the distributor, and
// holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLRequest.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVDataBlockDistributor.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/dash/QNVDashDownloadTracker.h"
#include "util/qnv/dash/QNVDashPlaylistData.h"

namespace plexora {

// The asset, told of every data loader's progress on the media-state queue.
class QNVDashDataLoaderDelegate {
 public:
  virtual ~QNVDashDataLoaderDelegate() = default;
  // A request failed, or an inline initialization segment was unusable.
  virtual void loadingDidFailWithError(const platform::Error& error) = 0;
  // New bytes arrived (isComplete false) or a request ended (true).
  virtual void dataWasReceivedForTrack(QNVTrackIndex track, const std::string& representationId, bool isComplete,
                                       bool allRequestedBytesReceived, bool forDiskCache) = 0;
  // A problem playback survives.
  virtual void reportWarning(const platform::Error& warning) = 0;
};

class QNVDashDataLoader : public std::enable_shared_from_this<QNVDashDataLoader> {
 public:
  // `representationId` may be none only for audio.
  static std::shared_ptr<QNVDashDataLoader> initWithPlaylistData(
      std::shared_ptr<QNVDashPlaylistData> playlistData, std::shared_ptr<QNVDashDownloadTracker> downloadTracker,
      std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
      std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor, bool enablePrefetchLookupWhenBypassCache,
      QNVTrackIndex track, std::optional<std::string> representationId);
  QNVDashDataLoader(const QNVDashDataLoader&) = delete;
  QNVDashDataLoader& operator=(const QNVDashDataLoader&) = delete;

  std::string description() const;
  // Only the first delegate is taken.
  void setDelegate(std::weak_ptr<QNVDashDataLoaderDelegate> delegate);

  // The larger of the playback bytes and the disk-cache bytes received.
  uint64_t fetchedOffset() const;
  // Fragmented only: fills the disk cache from fetchedOffset to `end` (0:
  // the whole file).
  void diskCacheToOffset(uint64_t end);
  void fetchToOffset(uint64_t target);
  // Fragmented: byte offsets. Segmented on-demand: `target` is a segment
  // index. Live: `target` is ignored.
  void fetchFromOffset(uint64_t start, uint64_t target);
  // Fragmented: a byte offset; segmented: a segment index.
  void seekForwardToOffset(uint64_t offset);
  void resetWithDataBlockDistributor(std::shared_ptr<QNVDataBlockDistributor> distributor);
  void cancelDiskCache();
  void cancelRequests();

  // Seconds of media at the representation's nominal bit rate; 0 without one.
  float approxInMemoryFetchedSecondsBasedOnBitrate() const;
  float approxDiskCachedSecondsBasedOnBitrate() const;
  bool diskCacheFetchInProgress() const;
  // Fractions of the file size (0 while it is unknown).
  float inMemoryFetchPercentage() const;
  float diskCachePercentage() const;
  // Fragmented only.
  bool fragmentedIsFullyDownloaded() const;

  const std::shared_ptr<QNVDashPlaylistData>& playlistData() const { return playlistData_; }
  const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader() const { return resourceLoader_; }
  // Fragmented: the file's size, learnt from the first completed request.
  uint64_t fileSize() const;

  int32_t fragmentedFetchCount() const { return fragmentedFetchCount_; }
  int32_t fragmentedNoOpFetchCount() const { return fragmentedNoOpFetchCount_; }
  uint32_t unfetchedSegmentCount() const;
  std::optional<platform::URL> segmentedInitUrl() const;
  // The URL at the track's fetch index; none at or past the end.
  std::optional<platform::URL> segmentedUrl() const;
  // The segment last requested.
  int32_t segmentedCurrentRequestOffset() const;
  int32_t indexToFetchTo() const;

  // Relaxes the offset checks for mid-stream quality switches of on-demand
  // streams.
  void _forTestingEnableVodMidstreamSwitch() { vodMidstreamSwitchEnabled_ = true; }
  // Every queue hop becomes a direct call, on the main queue.
  void _forTestingMakeSynchronous();
  void _forTestingBypassPrefetch();
  const std::optional<std::string>& representationId() const { return representationId_; }
  QNVTrackIndex track() const { return track_; }

  uint64_t diskCacheBytesRequested() const { return diskCacheBytesRequested_; }
  void setDiskCacheBytesRequested(uint64_t value) { diskCacheBytesRequested_ = value; }
  uint64_t diskCacheBytesReceived() const { return diskCacheBytesReceived_; }
  void setDiskCacheBytesReceived(uint64_t value) { diskCacheBytesReceived_ = value; }
  uint64_t diskCacheBytesNotified() const { return diskCacheBytesNotified_; }
  void setDiskCacheBytesNotified(uint64_t value) { diskCacheBytesNotified_ = value; }
  uint64_t inMemoryCacheBytesReceived() const { return inMemoryCacheBytesReceived_; }
  void setInMemoryCacheBytesReceived(uint64_t value) { inMemoryCacheBytesReceived_ = value; }

 private:
  QNVDashDataLoader(std::shared_ptr<QNVDashPlaylistData> playlistData,
                    std::shared_ptr<QNVDashDownloadTracker> downloadTracker,
                    std::shared_ptr<QNVAssetResourceLoader> resourceLoader,
                    std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor,
                    bool enablePrefetchLookupWhenBypassCache, QNVTrackIndex track,
                    std::optional<std::string> representationId);

  // What a request's completion carries back to the loader's queue.
  struct Completion {
    std::optional<platform::Error> error;
    std::shared_ptr<QNVLoadingRequest> request;
  };

  void fetchNextSegment();
  void setUrlIndex(int32_t index);
  void handleInlineInitSegment();
  void fetchNextFragmentedRangeAtOffset(uint64_t offset, uint64_t length, bool forDiskCache);
  void fetchUrlRequest(const platform::URLRequest& request, uint64_t offset, uint64_t length, bool firstSegment,
                       bool forDiskCache);
  void prefetchSegmentedUrlRequest(const platform::URLRequest& request);
  void dataCallbackHelper(platform::Bytes data, uint64_t offset, const std::shared_ptr<QNVDataRequest>& dataRequest,
                          bool forDiskCache);
  void dataCallback(platform::Bytes data, uint64_t offset, const QNVDataRequest& dataRequest);
  void requestFinishCallbackHelper(const Completion& completion, bool forDiskCache);
  void diskCacheFinished(const Completion& completion);
  void dataFinished(const Completion& completion);
  void cancelRequest(const std::shared_ptr<QNVAssetResourceLoadingRequest>& request);
  void startOnFetcher(std::shared_ptr<QNVAssetResourceLoadingRequest> request);
  void notifyData(bool isComplete, bool allRequestedBytesReceived, bool forDiskCache);
  void notifyFailure(const platform::Error& error);
  bool isOnDispatchQueue() const;
  std::string representationText() const;
  uint32_t bitrate() const;

  std::weak_ptr<QNVDashDataLoaderDelegate> delegate_;
  const std::shared_ptr<QNVAssetResourceLoader> resourceLoader_;
  std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor_;
  platform::DispatchQueuePtr dispatchQueue_;
  const QNVTrackIndex track_;
  const std::optional<std::string> representationId_;
  const std::shared_ptr<QNVDashDownloadTracker> downloadTracker_;
  bool fetchedInitURL_ = false;
  std::optional<platform::URL> cachedSegmentURL_;
  const std::shared_ptr<QNVDashPlaylistData> playlistData_;
  uint64_t fileSize_ = 0;
  bool prefetchFirstDataSegment_ = true;
  const bool enablePrefetchLookupWhenBypassCache_;
  bool vodMidstreamSwitchEnabled_ = false;
  bool async_ = true;
  int32_t fragmentedFetchCount_ = 0;
  int32_t fragmentedNoOpFetchCount_ = 0;
  uint64_t diskCacheBytesRequested_ = 0;
  uint64_t diskCacheBytesReceived_ = 0;
  uint64_t diskCacheBytesNotified_ = 0;
  uint64_t inMemoryCacheBytesReceived_ = 0;
};

}  // namespace plexora

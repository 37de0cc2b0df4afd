// The engine asset for an MPEG-DASH stream (live or on demand, segmented or
// fragmented). To the engine player it is an asset and a player item at
// once, handing out the compressed frames of one video track (0) and one
// audio track (1); every per-track array has those two slots in that order.
//
// It owns the playlist loader that fetches and refreshes the manifest, one
// data loader per representation, and per track a data block distributor,
// a linear reader over it for the box parser, a frame-record store and a
// download tracker; besides them the buffer size decider and the adaptive
// bitrate selector. The creator fills in a QNVDashAssetConfig, hands over the
// manifest (inline bytes, a URL, or both) and a bandwidth provider; nothing
// is fetched until a key load starts.
//
// Source files, by topic: QNVDashAsset.cpp (creation, configuration,
// description, accessors), QNVDashAssetLoading.cpp (key load, status,
// playback control, stall, pause, live timestamps, dry notices),
// QNVDashAssetErrors.cpp (errors, warnings, read-outs), QNVDashAssetQuality.cpp
// (representation choice), QNVDashAssetSeeking.cpp (seeks), and
// QNVDashAssetReception.cpp, QNVDashAssetScheduling.cpp,
// QNVDashAssetDiskCache.cpp, QNVDashAssetFrames.cpp, QNVDashAssetBoxes.cpp.
//
// Thread safety: everything runs on the asset's queue (the media-state
// queue; the main queue after forTestingMakeSynchronous). The view-facing
// loadValuesAsynchronouslyForKeys, requestTimeLoadedUpdate and
// requestErrorNotificationIfNeeded may be called from any thread and hand
// their work to that queue; the engine player, the data loaders and the
// playlist loader call the rest on it. No field is locked.
// Ownership: held through std::shared_ptr by its creator and the player; a
// pending load keeps the asset alive until its handler has run. The asset
// owns its loaders, decider, selector, trackers, distributors, readers and
// frame stores; the loaders and the decider hold it weakly. A
// representation's state owns its data loader and its video format
// description.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/media/AudioStreamDescription.h"
#include "platform/media/MediaTime.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/value/Value.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/qnv/asset/OVAssetLinearReader.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVAtomManager.h"
#include "util/qnv/asset/QNVBufferSizeDecider.h"
#include "util/qnv/asset/QNVDataBlockDistributor.h"
#include "util/qnv/asset/QNVLiveAVPlayerAsset.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/dash/QNVAdaptiveBitrateSelector.h"
#include "util/qnv/dash/QNVDashDataLoader.h"
#include "util/qnv/dash/QNVDashDownloadTracker.h"
#include "util/qnv/dash/QNVDashPlaylistData.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"
#include "util/qnv/mp4/QNVMP4MoovAtomProvider.h"
#include "util/qnv/mp4/QNVMp4FrameMetadataCompressor.h"

namespace plexora {

// A download completed and left too few fragment headers parsed, or a
// fragment header failed to parse.
inline constexpr int64_t kQNVAssetLoadingErrorUnparsedMoofs = 564;

inline constexpr const char* kAVPlayerItemStreamDryNotification = "AVPlayerItemStreamDryNotification";
inline constexpr const char* kAVPlayerItemStreamUnDryNotification = "AVPlayerItemStreamUnDryNotification";

// Filled in by whoever creates the asset; no defaults are fixed by the
// engine. Sizes in seconds unless named otherwise.
struct QNVDashAssetConfig {
  // The buffer size decider's.
  double fetchBufferSizeInSeconds = 0.0;
  double unstallBufferSizeInSeconds = 0.0;
  double firstUnstallBufferSizeInSeconds = 0.0;
  double stallBufferSizeInSeconds = 0.0;
  // Also sizes the first fragmented request.
  double firstFetchSizeInSeconds = 0.0;
  double fetchMultiplier = 1.0;
  double unstallMultiplier = 1.0;
  // The playlist loader's; segmentsFromEndToStartPrefetch also limits the
  // live prefetch preference to the timeline entries below it.
  uint32_t segmentsFromEndToStartUpdate = 0;
  uint32_t segmentsFromEndToStartPrefetch = 0;
  uint32_t unfetchedSegmentCap = 0;
  uint32_t unfetchedSegmentsAfterCap = 0;
  // Passed to every data loader.
  bool enablePrefetchLookupWhenBypassCache = false;
  // Stale manifest updates in a row at which the stream is dry; above 0 it
  // also turns on the stream-dry notifications.
  int32_t staleMpdUpdatesThreshold = 0;
  // Selector type 0 to 3; anything else becomes 0 (logged).
  uint32_t abrSelectorType = 0;
  // Used only by selector type 1.
  double abrSelectorBandwidthFraction = 0.0;
  bool abrFilterSizeScreen = false;
  int32_t pushInitialSegmentCount = 0;
  int32_t pushContinuousSegmentCount = 0;
  bool enableVodMidstreamSwitch = false;
  bool enableLiveMidstreamSwitch = false;
  bool ignorePrefetchQualitySelection = false;
  bool dynamicUnstallBufferEnabled = false;
  double unstallBufferSizeForExcellentNetwork = 0.0;
  double unstallBufferSizeForGoodNetwork = 0.0;
  double unstallBufferSizeForModerateNetwork = 0.0;
  double unstallBufferSizeForPoorNetwork = 0.0;
  double unstallBufferSizeForUnknownNetwork = 0.0;
  // Initial time from the first presentation time instead of the first
  // decode time (live streams).
  bool shouldUsePtsForInitialTime = false;
  // Move the loaded time on partial data once the video is 0.9 s ahead.
  bool shouldUpdateLoadedTimeEarlier = false;
  // Fail when a request completes and its representation's headers are
  // still unparsed.
  bool shouldCheckAllHeadersParsedAtDownloadComplete = false;
  bool shouldFailOnFailedMoofParse = false;
  // Fail when a completed fragmented request leaves fewer fragments parsed
  // than the segment index reached.
  bool shouldFailOnUnparsedMoofs = false;
  int32_t minutesToPadAvailEndTime = 0;
  // Disk cache of on-demand streams.
  bool enableWifiVODDiskCache = false;
  bool enableCellVODDiskCache = false;
  bool enableDiskCacheForOvCdnOnly = false;
  // Bits of connection-quality classes (excellent 1, good 2, moderate 4,
  // poor 8, unknown 16) for which the disk cache is on; 0 means all.
  int64_t dashVodDiskCacheWifiNetworkConditionMask = 0;
  int64_t dashVodDiskCacheCellNetworkConditionMask = 0;
  int64_t wifiDiskCacheStopBufferSizeInSec = 0;
  int64_t cellDiskCacheStopBufferSizeInSec = 0;
  int64_t wifiDiskCacheRestartBufferSizeInSec = 0;
  int64_t cellDiskCacheRestartBufferSizeInSec = 0;
  double dashVodDiskCacheSafeMultiplier = 0.0;
  bool embedFrameInfo = false;
  bool enableVP9 = false;
};

// The decider's configuration in its own order.
QNVBufferSizeDeciderConfig QNVDashBufferSizeDeciderConfig(const QNVDashAssetConfig& config);
// The selector of the configuration: an invalid type is logged
// ("Invalid selector:%d") and becomes 0; only type 1 gets the bandwidth
// fraction.
std::shared_ptr<QNVAdaptiveBitrateSelector> QNVMakeAdaptiveBitrateSelector(
    std::shared_ptr<QNVBandwidthProvider> bandwidthProvider, const QNVDashAssetConfig& config);

struct QNVDashAssetPrefetchMetadata {
  bool isInMemoryCached = false;
  bool isPrefetched = false;
  uint64_t prefetchBytesRequested = 0;
  uint64_t prefetchBytesReceived = 0;
  uint64_t prefetchLeadTimeInMS = 0;
  bool isPreviouslyKnownURL = false;
};

// The parse state of one representation. Owned by the asset; touched on its
// queue only.
class QNVDashRepresentationSpecificData {
 public:
  explicit QNVDashRepresentationSpecificData(std::string representationId)
      : representationId(std::move(representationId)) {}

  // Where the parser fills in the movie header, the segment index and the
  // fragment headers; empty at first.
  QNVMP4MoovAtomProvider* atomProvider() { return &atomProvider_; }
  const QNVMP4MoovAtomProvider& atomProvider() const { return atomProvider_; }

  std::string representationId;
  std::shared_ptr<QNVDashDataLoader> dataLoader;
  bool parsedMoovAtom = false;
  bool parsedHeaders = false;
  // The index, in the movie header's track boxes, of the representation's
  // track; -1 until the headers are parsed. Fragments are matched to it
  // through the movie-extends entry at the same index.
  int32_t trackId = -1;
  uint64_t readerOffsetBeforeFirstParseAttempt = 0;
  bool hasReaderOffsetBeenSet = false;
  // Owned here and shared with the decoder, so it outlives a quality
  // switch that drops the representation.
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc;

 private:
  QNVMP4MoovAtomProvider atomProvider_;
};

// The first frame of a parsed video fragment: its index in the video store
// and the representation it came from.
struct QNVDashKeyframeMetadata {
  int32_t index = 0;
  std::string representationId;
};

class QNVDashAsset final : public QNVAVAsset,
                           public QNVAVPlayerItem,
                           public QNVAssetForPlayer,
                           public QNVInfoForLoopableAsset,
                           public OVAdKeyValueObservable,
                           public QNVDashDataLoaderDelegate,
                           public QNVPlaylistLoaderDelegate,
                           public QNVTimeLoadedDelegate,
                           public QNVLiveAVPlayerAsset,
                           public QNVBufferDeciderRealTimeInfo,
                           public std::enable_shared_from_this<QNVDashAsset> {
 public:
  // `mpdData` empty when the manifest is to be fetched; `mpdUrl` none for an
  // inline-only manifest.
  static std::shared_ptr<QNVDashAsset> initWithConfig(const QNVDashAssetConfig& config, std::string mpdData,
                                                      std::optional<platform::URL> mpdUrl,
                                                      std::shared_ptr<QNVBandwidthProvider> bandwidthProvider);
  ~QNVDashAsset() override;
  QNVDashAsset(const QNVDashAsset&) = delete;
  QNVDashAsset& operator=(const QNVDashAsset&) = delete;

  // "<QNVDashAsset %p vid:%s a-frames:%u,%u v-frames:%u,%u init:%llu/%llu
  // rep:%s/%s buff:%s>".
  std::string description() const;

  // ---- Loading, status and playback control.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  double loadingStartedTimestamp() const { return loadingStartedTimestamp_; }
  QNVAffineTransform preferredTransform() const override { return QNVAffineTransform::identity(); }
  void updatePlaybackTime(const platform::MediaTime& time) override;
  QNVKeyValueStatus statusOfValueForKey(const std::string& key,
                                        std::optional<platform::Error>* outError) const override;
  platform::MediaTime duration() const override;
  void requestTimeLoadedUpdate() override;
  void requestErrorNotificationIfNeeded() override;
  bool resetAssetToBeginningIfNeeded() override;
  bool seekToPosition(const platform::MediaTime& time) override;
  bool containsTrack(QNVTrackIndex track) const override;
  bool trackHasMoreFrames(QNVTrackIndex track) override;
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) override;
  bool shouldRestartAfterStalling() override;
  platform::MediaTime maxBufferTime() const override { return QNVMaxBufferTime(); }
  platform::MediaTime minBufferTime() const override { return QNVMinBufferTime(); }

  // ---- Errors and read-outs.
  const std::optional<std::string>& mpdAccessibilityDescription() const;
  QNVDashAsset* asset() { return this; }
  bool embedFrameInfo() const override { return embedFrameInfo_; }
  void setEmbedFrameInfo(bool embedFrameInfo) override { embedFrameInfo_ = embedFrameInfo; }
  void addErrorToLog(const platform::Error& error, bool shouldStopPlayback) override;

  platform::MediaTime currentTime() const override;
  QNVAssetStatus status() const override { return hasFailed_ ? kQNVAssetStatusFailed : kQNVAssetStatusReadyToPlay; }
  std::optional<platform::Error> error() const override { return error_; }
  platform::MediaTime timeAfterSeek() const override;
  void playbackPauseRequested(int32_t reason) override;
  void playbackStarted() override;

  std::string debugDetails() const override;
  const std::string& projection() const;
  const std::string& audioChannelConfiguration() const;
  QNVDashAssetPrefetchMetadata getUpdatedPrefetchMetadataIfPossible();
  // QNVDashDataLoaderDelegate and QNVPlaylistLoaderDelegate, and the parser.
  void parsingDidFailWithError(const platform::Error& error);
  void reportWarning(const platform::Error& warning) override;
  // Nothing for a representation without a label or without an id.
  std::optional<std::string> qualityLabel() const;
  // The video playback representation, else the one chosen at parse.
  std::optional<std::string> representationId() const override;
  uint32_t availableQualitiesCount() const;
  bool isAbrEnabled() const;
  uint64_t receivedBytesCount() const;
  uint64_t requestedBytesCount() const;
  uint32_t unfetchedSegmentCapHitCount() const;

  // QNVLiveAVPlayerAsset.
  double elapsedVideoTimestamp() override;

  int32_t unfetchedSegmentCountForTrack(QNVTrackIndex track) const;

  // QNVDashDataLoaderDelegate.
  void dataWasReceivedForTrack(QNVTrackIndex track, const std::string& representationId, bool isComplete,
                               bool allRequestedBytesReceived, bool forDiskCache) override;
  // QNVDashDataLoaderDelegate and QNVPlaylistLoaderDelegate.
  void loadingDidFailWithError(const platform::Error& error) override;

  // QNVPlaylistLoaderDelegate.
  void playlistUpdated() override;
  bool hasPlaybackFailed() override { return hasFailed_; }
  // QNVTimeLoadedDelegate: "loadedTimeRanges" change notices.
  void willChangeValue() override { willChangeValueForKey(kQNVLoadedTimeRangesKey); }
  void didChangeValue() override { didChangeValueForKey(kQNVLoadedTimeRangesKey); }

  std::shared_ptr<QNVAssetResourceLoader> resourceLoader() override { return resourceLoader_; }

  // QNVLiveAVPlayerAsset.
  double nextLiveAudioTimestamp() override;

  // ---- Playlist updates, frame delivery and accessors.
  void cancelLoading() override {}
  std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType) const { return {}; }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  bool isPlaybackBufferFull() const override { return false; }
  bool decompressedFramebuffer() const override { return false; }
  bool shouldBufferVideoAsSoonAsPossible() const override { return true; }
  std::vector<platform::MediaTimeRange> loadedTimeRanges() const override;
  const platform::DispatchQueuePtr& dispatchQueue() const { return dispatchQueue_; }
  int32_t pauseReason() const override { return pauseReason_; }
  // QNVBufferDeciderRealTimeInfo: bits per second of the video
  // representation in use.
  double assetCurrentBitRate() const override;
  QNVDashAssetPrefetchMetadata prefetchMetadata() const { return prefetchMetadata_; }
  void setPrefetchMetadata(const QNVDashAssetPrefetchMetadata& metadata) { prefetchMetadata_ = metadata; }

  void setDashPlaylistData(const std::shared_ptr<QNVDashPlaylistData>& playlistData);
  // The playlist has an audio track whose format the engine can decode.
  bool containsAudio() const;

  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  // The decode time, relative to the initial time, of the frame at or
  // before the offset; invalid when none is stored.
  platform::MediaTime timeLoadedForOffset(uint64_t offset, QNVTrackIndex track);
  bool offsetIsAtLeastLargestOffset(uint64_t, QNVTrackIndex) const { return false; }
  platform::MediaTime currentVideoPts();
  platform::MediaTime videoTrackDuration() const override { return videoTrackDuration_; }
  platform::MediaTime nextAbsoluteAudioTime();
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override;
  // All zero without decodable audio.
  platform::AudioStreamBasicDescription asbd() const override;
  platform::Dictionary audioStreamExtraParameters() const override { return audioStreamExtraParameters_; }

  uint64_t timescale() const { return timescale_[0]; }
  platform::Size naturalSize() const override { return {}; }
  uint64_t currentOffsetForTrack(QNVTrackIndex track);

  // Tests: synchronous work on the main queue; new data loaders skip the
  // prefetch cache.
  void forTestingMakeSynchronous();
  void forTestingBypassPrefetch() { bypassPrefetch_ = true; }

  // Inspection, on the asset's queue.
  std::shared_ptr<QNVDashDataLoader> dataLoaderForTrack(QNVTrackIndex track);
  std::shared_ptr<QNVDashDataLoader> dataLoaderForTrack(QNVTrackIndex track, const std::string& representationId);
  int32_t vodSegmentIndexForTrack(QNVTrackIndex track) const { return vodSegmentIndex_[trackSlot(track)]; }
  int32_t segmentsParsedCountForTrack(QNVTrackIndex track) const { return segmentsParsedCount_[trackSlot(track)]; }
  bool parsedHeadersForTrack(QNVTrackIndex track, const std::string& representationId);
  const std::shared_ptr<QNVDashDownloadTracker>& downloadTrackerForTrack(QNVTrackIndex track) const {
    return downloadTrackers_[trackSlot(track)];
  }
  const std::shared_ptr<QNVDashPlaylistLoader>& playlistLoader() const { return playlistLoader_; }
  const std::shared_ptr<QNVDashPlaylistData>& playlistData() const { return playlistData_; }
  const std::shared_ptr<QNVAdaptiveBitrateSelector>& abrSelector() const { return abrSelector_; }
  const std::optional<std::string>& fetchingRepresentationIdForTrack(QNVTrackIndex track) const {
    return fetchingRepIds_[trackSlot(track)];
  }
  uint64_t sidxOffsetForSegmentIndex(size_t index, QNVTrackIndex track, const std::string& representationId);
  uint64_t sidxEndOffsetForTrack(QNVTrackIndex track, const std::string& representationId);
  const std::shared_ptr<QNVDataBlockDistributor>& dataBlockDistributorForTrack(QNVTrackIndex track) const;

  // The number of warnings seen so far.
  int32_t warningCount() const { return warningCount_; }
  const QNVBufferSizeDecider& bufferSizeDecider() const { return bufferSizeDecider_; }

  // OVAdKeyValueObservable: "loadedTimeRanges" as an array of ranges, each
  // a dictionary of "start" and "duration" in seconds.
  platform::Value valueForKey(const std::string& key) const override;

  // ---- Seeking.
  // YES when either track's read position is past its first frame.
  bool shouldResetAssetToBeginning();
  // The byte offset (fragmented) or the segment index (segmented) up to
  // which a track is to be fetched for the time.
  uint64_t offsetForTimeInSeconds(float seconds, QNVTrackIndex track);

 private:
  // Unit tests reach the internal decisions through it.
  friend class QNVDashAssetTestAccess;
  friend class QNVDashAssetDataPathTestAccess;

  QNVDashAsset(const QNVDashAssetConfig& config, std::string mpdData, std::optional<platform::URL> mpdUrl,
               std::shared_ptr<QNVBandwidthProvider> bandwidthProvider);
  // The steps that need the asset's own shared pointer: the delegates.
  void adoptDelegates();

  // Any track other than 1 reads the video slot.
  static size_t trackSlot(QNVTrackIndex track) { return track == kQNVAudioTrack ? 1 : 0; }

  // Sets the asset loaded and calls the kept load handler once (the data
  // path once both tracks have headers, the error path on a loading error);
  // the pending load's hold on the asset ends with it.
  void completeLoad();

  // Live frame store access.
  bool isCurrentFrameAKeyframe();

  // ---- Data reception and loaded time.
  // Made on first use.
  std::shared_ptr<QNVDashRepresentationSpecificData> dataForRep(const std::optional<std::string>& representationId,
                                                                QNVTrackIndex track);
  std::shared_ptr<QNVDashRepresentationSpecificData> newRepDataForTrack(QNVTrackIndex track,
                                                                        const std::string& representationId);
  void updateTimeLoaded(const platform::MediaTime& loadedVideoTime);
  bool isFullyDownloadedForTrack(QNVTrackIndex track) const;
  void verifySidxParsingAgainstFileLengthForRepresentationData(const QNVDashRepresentationSpecificData& data) const;
  bool fullyDownloaded() const;
  // The state of a representation already made; null otherwise. A nil video
  // id reads the constant-bitrate state.
  std::shared_ptr<QNVDashRepresentationSpecificData> existingDataForRep(
      const std::optional<std::string>& representationId, QNVTrackIndex track) const;

  void sendDryNotificationIfApplicable();
  void sendUndryNotificationIfApplicable();
  // The decode time between the current and the last stored video frame,
  // in milliseconds; 0 when the store is at its end.
  uint32_t unplayedVideoMilliseconds();

  // ---- Request scheduling.
  void potentiallyStartRequest();

  // ---- Disk cache policy.
  bool isDiskCacheEnabledForCurrentConnectionQuality() const;
  bool isDiskCacheEnabled() const;
  bool isDiskCacheEnabledForCurrentReachabilityState() const;
  bool shouldStartDiskCache(QNVTrackIndex track);
  bool shouldCancelDiskCache(QNVTrackIndex track);
  uint64_t diskCacheFetchLength(QNVTrackIndex track) const;
  uint64_t nextDiskCacheOffset(QNVTrackIndex track);

  void potentiallyStartRequestForTrack(QNVTrackIndex track);
  void fragmentedFetchForTrack(QNVTrackIndex track);
  void segmentedFetchForTrack(QNVTrackIndex track);
  bool shouldFetchDataForTrack(QNVTrackIndex track);

  // ---- Representation and quality selection.
  void selectRepresentationForTrack(QNVTrackIndex track);
  std::optional<std::string> selectFragmentedQualityForTrack(QNVTrackIndex track);
  bool previousFragmentedRequestFinishedAtBoundaryForTrack(QNVTrackIndex track);
  std::optional<std::string> selectSegmentedQualityForTrack(QNVTrackIndex track);

  // ---- Errors.
  // The quality label of a representation of the playlist; none for an
  // unknown id or no id.
  std::optional<std::string> qualityLabelForRepresentation(const std::optional<std::string>& representationId) const;
  void handleWarning(const platform::Error& warning);
  void handleError(const platform::Error& error);

  void seekDataLoaderToTime(const platform::MediaTime& time, uint64_t offset, bool shouldUpdateOffset,
                            QNVTrackIndex track);

  // The stream's initial decode and presentation times in the track's own
  // timescale: they are found in the video's, and audio counts in its own.
  uint64_t initialTimeForTrack(QNVTrackIndex track) const;
  uint64_t initialTimePtsForTrack(QNVTrackIndex track) const;

  // ---- Box parsing and audio alignment.
  void createNewDataBlockDistributors();
  void createNewDataBlockDistributorForTrack(QNVTrackIndex track);
  void parseAtomForTrack(QNVTrackIndex track, const std::string& representationId);
  void attemptToParseInitializationAtomsForTrack(QNVTrackIndex track, const std::string& representationId);
  void attemptToParseMoofAtomsForTrack(QNVTrackIndex track, const std::string& representationId);
  void advanceAudioToMatchVideo();

  // ---- Seeking internals.
  bool fragmentedSeekToPosition(const platform::MediaTime& time);
  bool liveSeekToNextKeyFrame();
  // The time is relative to the stream start.
  QNVSeekStatus segmentedVodSeekToPosition(const platform::MediaTime& time);
  QNVSeekStatus segmentedSeekStatusForTime(const platform::MediaTime& time, bool shouldUpdateOffset,
                                           bool shouldSeekAudio, uint64_t newOffset);
  int32_t videoSegmentIndexForTime(const platform::MediaTime& time);
  void resetDataForSeekBack();
  bool advanceToNextGopKeyframe();
  // The stream start: the initial time once known (video timescale), else
  // the start of the track's first timeline entry.
  platform::MediaTime streamStartForTrack(QNVTrackIndex track) const;

  std::function<void()> assetLoadedHandler_;
  // Keeps the asset alive while a load is pending.
  std::shared_ptr<QNVDashAsset> loadKeepAlive_;
  QNVBufferSizeDecider bufferSizeDecider_;
  std::shared_ptr<QNVDashPlaylistData> playlistData_;
  std::shared_ptr<QNVDashPlaylistLoader> playlistLoader_;
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader_;
  std::shared_ptr<QNVAdaptiveBitrateSelector> abrSelector_;
  std::array<std::shared_ptr<QNVDashDownloadTracker>, 2> downloadTrackers_;
  StallCheckCallback playerCheckForStallCallback_;
  bool hasFailed_ = false;
  bool isStalled_ = false;
  bool shouldShowBroadcasterInterruptedMessage_ = false;
  bool sentStreamDryNotification_ = false;
  bool assetLoaded_ = false;
  bool waitingOnLoad_ = false;
  bool bypassPrefetch_ = false;
  bool async_ = true;
  platform::DispatchQueuePtr dispatchQueue_;
  double loadingStartedTimestamp_ = 0.0;
  std::array<std::shared_ptr<QNVDataBlockDistributor>, 2> dataBlockDistributors_;
  std::array<std::shared_ptr<OVAssetLinearReader>, 2> readers_;
  std::array<std::unique_ptr<QNVMp4FrameMetadataCompressor>, 2> frames_;
  std::vector<QNVDashKeyframeMetadata> gopKeyframeMetadata_;
  std::array<bool, 2> parsedHeadersForAnyRepresentation_{};
  bool parsedHeadersForEachTrack_ = false;
  platform::MediaTime duration_ = platform::MediaTime::zero();
  platform::MediaTime videoTrackDuration_;
  // The audio track's format; none until its headers are parsed, and none
  // for good when the format cannot be decoded (the asset then plays video
  // only).
  std::optional<platform::AudioStreamBasicDescription> asbd_;
  // Set when the audio headers named a format the engine cannot decode.
  bool audioIsUndecodable_ = false;
  platform::Dictionary audioStreamExtraParameters_;
  std::array<uint32_t, 2> timescale_{};
  uint64_t initialTime_ = 0;
  uint64_t initialTimePts_ = 0;
  bool initialTimeSet_ = false;
  std::array<int32_t, 2> segmentsParsedCount_{};
  bool playlistWasParsed_ = false;
  bool shouldUsePtsForInitialTime_ = false;
  bool shouldUpdateLoadedTimeEarlier_ = false;
  bool shouldCheckAllHeadersParsedAtDownloadComplete_ = false;
  bool shouldFailOnFailedMoofParse_ = false;
  bool shouldFailOnUnparsedMoofs_ = false;
  bool enablePrefetchLookupWhenBypassCache_ = false;
  bool enableLiveMidstreamSwitch_ = false;
  bool enableVodMidstreamSwitch_ = false;
  bool enableWifiVODDiskCache_ = false;
  bool enableCellVODDiskCache_ = false;
  bool enableDiskCacheForOvCdnOnly_ = false;
  int64_t dashVodDiskCacheWifiNetworkConditionMask_ = 0;
  int64_t dashVodDiskCacheCellNetworkConditionMask_ = 0;
  float wifiDiskCacheStopBufferSizeInSec_ = 0.0F;
  float cellDiskCacheStopBufferSizeInSec_ = 0.0F;
  float wifiDiskCacheRestartBufferSizeInSec_ = 0.0F;
  float cellDiskCacheRestartBufferSizeInSec_ = 0.0F;
  float dashVodDiskCacheSafeMultiplier_ = 0.0F;
  std::shared_ptr<QNVDashRepresentationSpecificData> audioRepData_;
  // The video representation when no id is given (constant bitrate).
  std::shared_ptr<QNVDashRepresentationSpecificData> videoRepData_;
  std::map<std::string, std::shared_ptr<QNVDashRepresentationSpecificData>> videoRepDatas_;
  std::array<std::optional<std::string>, 2> playbackRepIds_;
  std::array<std::optional<std::string>, 2> fetchingRepIds_;
  bool ignorePrefetchQualitySelection_ = false;
  int32_t segmentsFromEndToStartPrefetch_ = 0;
  std::array<int32_t, 2> vodSegmentIndex_{};
  bool hadInlineManifest_ = false;
  // -1 before the player first reports, 0 while playing.
  int32_t pauseReason_ = -1;
  int32_t warningCount_ = 0;
  std::optional<platform::Error> error_;
  std::optional<platform::Error> loadingError_;
  std::shared_ptr<QNVBandwidthProvider> bandwidthProvider_;
  bool embedFrameInfo_ = false;
  QNVDashAssetPrefetchMetadata prefetchMetadata_;
};

}  // namespace plexora

// The engine asset for a progressive MP4 file behind a URL: it plays the
// file while it downloads in byte ranges. The data loader fetches the
// ranges, the atom manager parses the header and serves the frames, and the
// buffer size decider says when to fetch, stall and resume; the asset ties
// them together behind the asset interfaces.
//
// Loading: the first request asks for the first box headers (or the header
// and a second of media when the caller knows the header's size); requests
// follow until the header is parsed. A header that the first requests do not
// reach (a long ftyp, other boxes before it, or the header at the end of the
// file) is fetched where the parser finds it, skipping the media data on the
// way, and the download then goes on from where it left the media data. A
// file without a header fails with 556 once its end is reached.
//
// Failures: a download or parse error is reported with stop (the
// failed-to-play-to-end notification) and nothing is fetched afterwards.
// Before the header is parsed it also becomes the loading error (domain
// "QNVAssetLoadingError", code 557, the cause's "code" and "domain" added to
// its details), which the key status hands out, and the load handler runs.
// Warnings: the first nine are posted, later ones only logged.
//
// Thread safety: every operation runs on the asset's queue (the media-state
// queue when asynchronous): the view-facing loading, time-loaded and error
// requests are handed to it, the engine calls the rest there, and the
// loader's callbacks arrive there. parsedHeaders-based answers may be read
// from another thread; the rest only on the queue.
// Ownership: held through std::shared_ptr by its creator and the engine's
// player; a load in progress keeps the asset alive until its handler has
// run. The asset owns its loader, atom manager and decider, which hold it
// weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVAtomManager.h"
#include "util/qnv/asset/QNVBufferSizeDecider.h"
#include "util/qnv/asset/QNVDataLoader.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

// The sizes of the URL initialiser, in seconds.
struct QNVMp4AssetBufferSizes {
  double fetchBufferSizeInSeconds = 6.0;
  double unstallBufferSizeInSeconds = 1.0;
  double stallBufferSizeInSeconds = 0.25;
  double firstFetchSizeInSeconds = 1.0;
  double fetchBufferMultiplier = 1.0;
  double unstallBufferMultiplier = 1.0;
};

class QNVMp4Asset final : public QNVAVAsset,
                          public QNVAVPlayerItem,
                          public QNVAssetForPlayer,
                          public QNVInfoForLoopableAsset,
                          public QNVAssetForCache,
                          public OVAdKeyValueObservable,
                          public QNVDataLoaderDelegate,
                          public QNVAtomManagerDelegate,
                          public QNVTimeLoadedDelegate,
                          public QNVBufferDeciderRealTimeInfo,
                          public std::enable_shared_from_this<QNVMp4Asset> {
 public:
  // `moovAtomSize` and `bitrate` (bits per second) are 0 when unknown.
  static std::shared_ptr<QNVMp4Asset> initWithURL(const platform::URL& url, uint64_t moovAtomSize, uint64_t bitrate,
                                                  QNVMp4AssetBufferSizes sizes = {}, bool async = true);
  // Ready-made components; always asynchronous. The asset also tells the
  // decider its stall reason, so a stall before the first start ends at the
  // first-unstall size.
  static std::shared_ptr<QNVMp4Asset> initWithAtomManager(std::shared_ptr<QNVAtomManager> atomManager,
                                                          std::shared_ptr<QNVDataLoader> dataLoader,
                                                          QNVMp4AssetBufferSizes sizes);
  ~QNVMp4Asset() override;
  QNVMp4Asset(const QNVMp4Asset&) = delete;
  QNVMp4Asset& operator=(const QNVMp4Asset&) = delete;

  // "<QNVMp4Asset %p %s>" with the data loader's description.
  std::string description() const;
  const platform::DispatchQueuePtr& dispatchQueue() const { return dispatchQueue_; }

  // QNVAVAsset and QNVAssetForCache.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  QNVKeyValueStatus statusOfValueForKey(const std::string& key,
                                        std::optional<platform::Error>* outError) const override;
  platform::MediaTime duration() const override;
  platform::Size naturalSize() const override { return {}; }
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader() override;
  void cancelLoading() override {}
  std::vector<QNVAssetTrackInfo> tracksWithMediaType(QNVMediaType) const override { return {}; }

  // QNVAVPlayerItem.
  QNVMp4Asset* asset() { return this; }
  bool isPlaybackBufferFull() const override { return false; }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  platform::MediaTime currentTime() const override { return bufferSizeDecider_.playbackTime(); }
  void requestTimeLoadedUpdate() override;
  void requestErrorNotificationIfNeeded() override;
  QNVAssetStatus status() const override { return hasFailed_ ? kQNVAssetStatusFailed : kQNVAssetStatusReadyToPlay; }
  std::vector<platform::MediaTimeRange> loadedTimeRanges() const override;

  // QNVAssetForPlayer.
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override;
  platform::AudioStreamBasicDescription asbd() const override;
  platform::Dictionary audioStreamExtraParameters() const override;
  bool containsTrack(QNVTrackIndex track) const override;
  void addErrorToLog(const platform::Error& error, bool shouldStopPlayback) override;
  std::optional<std::string> representationId() const override { return std::nullopt; }
  bool trackHasMoreFrames(QNVTrackIndex track) override;
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  void updatePlaybackTime(const platform::MediaTime& time) override;
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) override;
  bool shouldRestartAfterStalling() override;
  bool shouldBufferVideoAsSoonAsPossible() const override { return true; }
  bool seekToPosition(const platform::MediaTime& time) override;
  bool resetAssetToBeginningIfNeeded() override;
  void playbackPauseRequested(int32_t) override {}
  void playbackStarted() override {}
  platform::MediaTime timeAfterSeek() const override { return bufferSizeDecider_.timeAfterSeek(); }
  QNVAffineTransform preferredTransform() const override { return QNVAffineTransform::identity(); }
  std::string debugDetails() const override;
  bool decompressedFramebuffer() const override { return false; }
  bool embedFrameInfo() const override { return embedFrameInfo_; }
  void setEmbedFrameInfo(bool embedFrameInfo) override { embedFrameInfo_ = embedFrameInfo; }
  platform::MediaTime maxBufferTime() const override { return QNVMaxBufferTime(); }
  platform::MediaTime minBufferTime() const override { return QNVMinBufferTime(); }
  int32_t pauseReason() const override { return pauseReason_; }

  // QNVInfoForLoopableAsset.
  platform::MediaTime videoTrackDuration() const override;

  // QNVBufferDeciderRealTimeInfo.
  double assetCurrentBitRate() const override { return 0.0; }

  // The loader, the decider and the number of warnings, for those who watch
  // the download (on the queue).
  const std::shared_ptr<QNVDataLoader>& dataLoader() const { return dataLoader_; }
  const QNVBufferSizeDecider& bufferSizeDecider() const { return bufferSizeDecider_; }
  int32_t warningCount() const { return warningCount_; }
  // Every frame's bytes are at hand: the loader reached the end of the
  // file, or the bytes received reach the last frame of both tracks.
  bool isFullyDownloaded() const;

  // OVAdKeyValueObservable: "loadedTimeRanges" as an array of ranges, each
  // a dictionary of "start" and "duration" in seconds.
  platform::Value valueForKey(const std::string& key) const override;

 private:
  QNVMp4Asset(std::shared_ptr<QNVAtomManager> atomManager, QNVMp4AssetBufferSizes sizes, bool async);
  void adopt(std::shared_ptr<QNVDataLoader> dataLoader);

  // QNVDataLoaderDelegate.
  void loadingDidFailWithError(const platform::Error& error) override;
  void dataWasReceivedForTrack(QNVTrackIndex track, bool isComplete) override;
  void reportWarning(const platform::Error& error) override;
  // QNVAtomManagerDelegate.
  void parsingDidFailWithError(const platform::Error& error) override;
  void resetDataForSeekBack() override;
  // QNVTimeLoadedDelegate.
  void willChangeValue() override { willChangeValueForKey(kQNVLoadedTimeRangesKey); }
  void didChangeValue() override { didChangeValueForKey(kQNVLoadedTimeRangesKey); }

  void failWithError(const platform::Error& error);
  void serveLoadHandler();
  void updateLoadedTime();
  void potentiallyStartRequestForTrack(QNVTrackIndex track);
  // Asks for more of the header: the first request, or where the parser
  // waits when that request does not reach it.
  void requestHeaderForTrack(QNVTrackIndex track);
  // After a header fetched past media data, the download goes back to the
  // media data it skipped.
  void resumeAfterHeaderJump();
  void seekDataLoaderToTime(const platform::MediaTime& time, uint64_t offset, QNVTrackIndex track);

  std::function<void()> assetLoadedHandler_;
  // Keeps the asset alive while a load is pending.
  std::shared_ptr<QNVMp4Asset> loadKeepAlive_;
  std::shared_ptr<QNVDataLoader> dataLoader_;
  const std::shared_ptr<QNVAtomManager> atomManager_;
  QNVBufferSizeDecider bufferSizeDecider_;
  StallCheckCallback playerCheckForStallCallback_;
  bool hasFailed_ = false;
  bool isStalled_ = false;
  std::optional<platform::Error> error_;
  std::optional<platform::Error> loadingError_;
  bool assetLoaded_ = false;
  bool waitingOnLoad_ = false;
  int32_t warningCount_ = 0;
  const bool async_;
  const platform::DispatchQueuePtr dispatchQueue_;
  int32_t pauseReason_ = 0;
  bool embedFrameInfo_ = false;
  // Where the download left the file to fetch a header further on, and
  // where it went.
  std::optional<uint64_t> headerJumpFrom_;
  uint64_t headerJumpTo_ = 0;
};

}  // namespace plexora

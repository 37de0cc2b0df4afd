// Plays another engine asset several times in a row, or without end, as one
// continuous asset. Two instances of the video, made by the caller's
// factory, take turns: while one plays the other waits at time zero, and
// when the playing one runs out of video frames they swap. Every time handed
// to the engine is shifted by the loops already played, so the engine sees
// one timeline. Audio frames carry two marks:
// kQNVFrameFlagFirstAudioPacketOfRun on the first after a restart,
// kQNVFrameFlagLastAudioPacketOfRun on the one that reaches the end of the
// loop's video (no audio follows it until the restart).
//
// The instances must be engine assets (QNVAVAsset, QNVAVPlayerItem,
// QNVAssetForPlayer, QNVInfoForLoopableAsset, observable
// "loadedTimeRanges").
//
// Thread safety: as its instances: the engine calls it on the media-state
// queue; loading and the views' requests are handed to the instances.
// Ownership: held through std::shared_ptr by its creator and the engine; it
// owns both instances; its observations of them end with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/OVAdKVOController.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

class QNVLoopingAsset final : public QNVAVAsset,
                              public QNVAVPlayerItem,
                              public QNVAssetForPlayer,
                              public OVAdKeyValueObservable,
                              public OVAdKeyValueObserver,
                              public std::enable_shared_from_this<QNVLoopingAsset> {
 public:
  using AssetBlock = std::function<std::shared_ptr<QNVAssetForPlayer>()>;
  // Null without a factory. A loop count of -1 loops without end.
  static std::shared_ptr<QNVLoopingAsset> initWithAssetBlock(const AssetBlock& assetBlock, int32_t loopCount = -1);
  ~QNVLoopingAsset() override;
  QNVLoopingAsset(const QNVLoopingAsset&) = delete;
  QNVLoopingAsset& operator=(const QNVLoopingAsset&) = delete;

  // QNVAVAsset: the first instance loads, then the backup.
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                       std::function<void()> completionHandler) override;
  QNVKeyValueStatus statusOfValueForKey(const std::string& key,
                                        std::optional<platform::Error>* outError) const override;
  // Positive infinity without end, else the video's duration times the
  // plays.
  platform::MediaTime duration() const override;
  platform::Size naturalSize() const override { return {}; }
  // Nothing is fetched through the looping asset itself.
  std::shared_ptr<QNVAssetResourceLoader> resourceLoader() override;
  void cancelLoading() override {}

  // QNVAVPlayerItem.
  bool isPlaybackBufferFull() const override { return false; }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  platform::MediaTime currentTime() const override { return playbackTime_; }
  void requestTimeLoadedUpdate() override;
  void requestErrorNotificationIfNeeded() override;
  // Ready when both instances are.
  QNVAssetStatus status() const override;
  std::vector<platform::MediaTimeRange> loadedTimeRanges() const override { return loadedTimeRanges_; }

  // QNVAssetForPlayer.
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override;
  platform::AudioStreamBasicDescription asbd() const override;
  platform::Dictionary audioStreamExtraParameters() const override;
  bool containsTrack(QNVTrackIndex track) const override;
  void addErrorToLog(const platform::Error& error, bool shouldStopPlayback) override;
  std::optional<std::string> representationId() const override;
  bool trackHasMoreFrames(QNVTrackIndex track) override;
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  void updatePlaybackTime(const platform::MediaTime& time) override;
  bool shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) override;
  bool shouldRestartAfterStalling() override;
  bool shouldBufferVideoAsSoonAsPossible() const override { return true; }
  // Refused for a negative or non-numeric time and before loading.
  bool seekToPosition(const platform::MediaTime& time) override;
  bool resetAssetToBeginningIfNeeded() override;
  void playbackPauseRequested(int32_t) override {}
  void playbackStarted() override {}
  platform::MediaTime timeAfterSeek() const override;
  QNVAffineTransform preferredTransform() const override;
  std::string debugDetails() const override;
  bool decompressedFramebuffer() const override;
  bool embedFrameInfo() const override;
  void setEmbedFrameInfo(bool embedFrameInfo) override { embedFrameInfo_ = embedFrameInfo; }
  platform::MediaTime maxBufferTime() const override { return QNVMaxBufferTime(); }
  platform::MediaTime minBufferTime() const override { return QNVMinBufferTime(); }
  int32_t pauseReason() const override;

  // OVAdKeyValueObservable: "loadedTimeRanges" as an array of ranges, each
  // a dictionary of "start" and "duration" in seconds.
  platform::Value valueForKey(const std::string& key) const override;

  const std::shared_ptr<QNVAssetForPlayer>& originalAsset() const { return originalAsset_; }
  const std::shared_ptr<QNVAssetForPlayer>& backupAsset() const { return backupAsset_; }
  // 0 normal, 1 this loop's audio has reached the end of its video, 2 a loop
  // has just restarted.
  int32_t state() const { return state_; }
  const platform::MediaTime& videoRealDuration() const { return videoRealDuration_; }
  bool usingBackUp() const { return usingBackup_; }
  int32_t currentLoopCount() const { return currentLoopCount_; }

 private:
  explicit QNVLoopingAsset(int32_t loopCount) : loopCount_(loopCount) {}

  QNVAssetForPlayer& active() const { return usingBackup_ ? *backupAsset_ : *originalAsset_; }
  bool loopsRemain() const { return loopCount_ == -1 || currentLoopCount_ < loopCount_; }
  // The offset of the current loop on the looping timeline.
  platform::MediaTime loopOffset() const;
  // Swaps the instances once the playing one has no more video.
  void switchLoopIfNeeded();
  void observeLoadedTimeRanges(const std::shared_ptr<QNVAssetForPlayer>& asset);
  void loadedTimeRangesChanged(QNVAVPlayerItem& item);

  platform::MediaTime playbackTime_ = platform::MediaTime::zero();
  std::vector<platform::MediaTimeRange> loadedTimeRanges_;
  bool usingBackup_ = false;
  std::shared_ptr<OVAdKVOController> observation_;
  const int32_t loopCount_;
  bool embedFrameInfo_ = false;
  int32_t state_ = 0;
  int32_t currentLoopCount_ = 0;
  std::shared_ptr<QNVAssetForPlayer> originalAsset_;
  std::shared_ptr<QNVAssetForPlayer> backupAsset_;
  platform::MediaTime videoRealDuration_ = platform::MediaTime::zero();
};

}  // namespace plexora

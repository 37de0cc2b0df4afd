// The engine player's core: pulls frames from its item, hands video to the
// display engine and audio packets to the audio engine, paces both on its
// clock, and reports status, current item and rate to its delegate (the
// facade). Stalls, seeks, mute and the application's active state are
// handled here too.
//
// Thread safety: every operation runs on the running queue (the media-state
// queue) and most assert so; the clock's observers, the layer's data
// requests and the audio engine's callbacks arrive there. Only the read
// accessors marked "any thread" may be called elsewhere: they read a
// snapshot kept under a lock, written on the running queue.
// Ownership: the player owns its item, display engine, audio engine and
// clock; it holds its delegate weakly, and every block it hands to the
// clock, the layer or the audio engine holds it weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "util/qnv/audio/QNVAudioQueue.h"
#include "util/qnv/player/QNVClock.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/render/QNVPlayerDisplayEngine.h"

namespace plexora {

using platform::kAVPlayerItemDidPlayToEndTimeNotification;
using platform::kAVPlayerItemPlaybackStalledNotification;

// Attachment keys of a sample the layer shows as soon as it is decoded.
inline constexpr const char* kQNVSampleAttachmentDoNotDisplay = "DoNotDisplay";
inline constexpr const char* kQNVSampleAttachmentDisplayImmediately = "DisplayImmediately";

// A failed item that does not say why.
inline constexpr const char* kQNVPlayerItemErrorDomain = "QNVPlayerItem";
inline constexpr int64_t kQNVPlayerItemErrorFailed = 1;

// A packet that does not fit an empty audio-queue buffer.
inline constexpr int64_t kQNVAudioQueueErrorPacketTooLarge = 511;

// The player's statuses (those of a system player).
inline constexpr int64_t kQNVPlayerStatusUnknown = 0;
inline constexpr int64_t kQNVPlayerStatusReadyToPlay = 1;
inline constexpr int64_t kQNVPlayerStatusFailed = 2;

class QNVSynchronousPlayerDelegate {
 public:
  virtual ~QNVSynchronousPlayerDelegate() = default;
  virtual void statusUpdated(int64_t status) = 0;
  virtual void currentItemUpdated(const std::shared_ptr<QNVAssetForPlayer>& item) = 0;
  virtual void rateUpdated(float rate) = 0;
};

// Playback flags, times and observer handles; replaced whole when the item
// changes.
struct QNVPlayerState {
  bool playingRequested = false;
  bool isPlaying = false;
  bool isStalled = false;
  bool endTimeReached = false;
  bool firstAudioFrameEnqueued = false;
  bool stoppedEnqueuingVideo = false;
  bool videoFramesFinished = false;
  bool stoppedEnqueuingAudio = false;
  bool isFirstVideoFrame = true;
  bool recreatedLayerOnError = false;
  bool audioEngineInitialized = false;
  platform::MediaTime lastStartingTime = platform::MediaTime::zero();
  platform::MediaTime lastRequestedStartTime = platform::MediaTime::zero();
  platform::MediaTime latestEnqueuedVideoPts = platform::MediaTime::zero();
  platform::MediaTime latestEnqueuedAudioPts = platform::MediaTime::zero();
  platform::MediaTime latestEnqueuedAudioDts = platform::MediaTime::zero();
  std::shared_ptr<QNVPlayerTimeObserver> playbackTimeObserverForAsset;
  std::shared_ptr<QNVPlayerTimeObserver> durationTimerForAsset;
  std::shared_ptr<QNVPlayerTimeObserver> stallTimerObserver;
  std::shared_ptr<QNVPlayerTimeObserver> sampleBufferFlushTimerObserver;
  std::shared_ptr<QNVPlayerTimeObserver> levelMeterTimerObserver;
  platform::MediaTime backgroundPauseTime = platform::MediaTime::invalid();
  uint32_t sampleAudioFrameSize = 0;
  std::optional<std::string> representationId;
};

class QNVSynchronousPlayer final : public QNVPlayerDisplayEngineDelegate,
                                   public std::enable_shared_from_this<QNVSynchronousPlayer> {
 public:
  using CompletionHandler = std::function<void(bool finished)>;
  using RepresentationChangedCallback = std::function<void(const std::string& previousRepresentationId)>;

  // Call on the running queue: the layer is told its delegate and flushed of
  // an old error, and the clock drives the layer's timebase.
  static std::shared_ptr<QNVSynchronousPlayer> initWithDisplayEngine(
      std::shared_ptr<QNVPlayerDisplayEngine> displayEngine, std::shared_ptr<QNVPlayerAudioEngine> audioEngine,
      std::shared_ptr<QNVClock> clock, platform::DispatchQueuePtr runningQueue, bool muted);
  ~QNVSynchronousPlayer() override;
  QNVSynchronousPlayer(const QNVSynchronousPlayer&) = delete;
  QNVSynchronousPlayer& operator=(const QNVSynchronousPlayer&) = delete;

  std::string description() const;

  void play();
  void pause();
  void setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer);
  void setAudioEngine(std::shared_ptr<QNVPlayerAudioEngine> audioEngine);
  void replaceCurrentItemWithPlayerItem(std::shared_ptr<QNVAssetForPlayer> item);

  // Not added to the clock: the caller adds it.
  std::shared_ptr<QNVPlayerTimeObserver> createPeriodicTimeObserverForInterval(
      const platform::MediaTime& interval, std::function<void(platform::MediaTime)> block);
  void addTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer);
  void removeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer);

  std::shared_ptr<QNVAssetForPlayer> currentItem() const { return playerAsset_; }
  int64_t status() const { return status_; }
  std::shared_ptr<QNVPlayerDisplayEngine> layer() const { return layer_; }
  void setDelegate(std::weak_ptr<QNVSynchronousPlayerDelegate> delegate);

  float rate() const { return playerState_.isPlaying ? 1.0f : 0.0f; }
  // Only 0 and 1 are rates of this player; others are ignored.
  void setRate(float rate);

  // Any thread.
  platform::MediaTime currentTime() const;
  std::optional<platform::Error> error() const;
  float volume() const;
  bool isMuted() const;
  platform::MediaTime lastStartingTime() const;
  platform::MediaTime lastRequestedStartTime() const;

  void seekToTime(const platform::MediaTime& time, CompletionHandler completionHandler);
  void seekToTime(const platform::MediaTime& time, const platform::MediaTime& toleranceBefore,
                  const platform::MediaTime& toleranceAfter, CompletionHandler completionHandler);

  void setVolume(float volume);
  void setVolume(float volume, float rampTime);
  void setMuted(bool muted);

  void addLevelMeterCallback(QNVPlayerAudioEngine::LevelCallback callback, const platform::MediaTime& timeInterval);
  void removeLevelMeterCallback();
  void addRepresentationChangedCallback(RepresentationChangedCallback callback);

  void applicationWillResignActive();
  void applicationDidBecomeActive();

  // QNVPlayerDisplayEngineDelegate
  platform::DispatchQueuePtr queueForLayerUpdates() override { return runningQueue_; }
  void layerUpdatedWithError(const platform::Error& error) override;

  // What tests look at.
  const QNVPlayerState& playerState() const { return playerState_; }

 private:
  QNVSynchronousPlayer(std::shared_ptr<QNVPlayerDisplayEngine> displayEngine,
                       std::shared_ptr<QNVPlayerAudioEngine> audioEngine, std::shared_ptr<QNVClock> clock,
                       platform::DispatchQueuePtr runningQueue, bool muted);

  // Lifecycle (state and play/pause).
  void _pause(int32_t reason);
  void _pausePlayback(int32_t reason);
  void _resumePlayback();
  void _updateTimersOnPause();
  void _updateStatus(int64_t status);
  bool _readyToPlay() const;
  bool _itemHasFailed() const;
  // Posts the failed item's error (stop) and fails the player with it.
  void _failWithItemError();
  void _setupLayer();
  void _levelMeterCallback();
  void _reenableLevelMeteringIfNeeded();
  void publishReadableState();
  // The item as a notification's object: the whole asset's address, which
  // is what observers holding the concrete asset register with.
  const void* itemIdentity() const { return dynamic_cast<const void*>(playerAsset_.get()); }

  // Frame pumping.
  void _startVideo();
  void _enqueueBuffer();
  void _videoLayerEnqueueFrameCallback();
  void _finishEnqueuingVideo();
  bool _videoBufferLengthIsGreaterThan(const platform::MediaTime& length) const;
  bool _audioBufferLengthIsGreaterThan(const platform::MediaTime& length) const;
  bool _enqueuedTime(const platform::MediaTime& enqueued, const platform::MediaTime& length) const;
  static void _markDisplayImmediately(platform::SampleBuffer& sampleBuffer);
  void _checkIfRepresentationChanged();
  void _setupAudio();
  bool _audioPutDataIntoBufferCallback(platform::AudioQueueBuffer& buffer, QNVAudioTimeStamp* timestamp,
                                       bool* isFirstPacket);
  void _adjustAudioFrameToCurrentPlaybackTime();
  bool _videoHasAudioTrack() const;
  bool _videoIsAudioActive() const { return !muted_; }
  std::shared_ptr<QNVPlayerTimeObserver> _addPlaybackTimerForAsset();
  std::shared_ptr<QNVPlayerTimeObserver> _addDurationTimerForAsset();
  std::shared_ptr<QNVPlayerTimeObserver> _addSampleBufferFlushTimerWithCompletionHandler(CompletionHandler handler);
  void _playbackTimeListenerForAsset(const platform::MediaTime& time);
  void _playbackFinishedTimeForAsset(const platform::MediaTime& time);
  void _flushSampleBuffersDuringFrameSeek();

  // Stalls, seeking, muting.
  std::shared_ptr<QNVPlayerTimeObserver> _addStallTimer();
  void _manageStallStateWithDidStartPlaying(bool didStartPlaying);
  void _seekToTime(const platform::MediaTime& time, bool frameSeekOn, CompletionHandler completionHandler);
  void _syncVolume();
  void _audioEngineErrorCallback(const platform::Error& error);

  std::shared_ptr<QNVAssetForPlayer> playerAsset_;
  std::shared_ptr<QNVPlayerAudioEngine> audioEngine_;
  std::shared_ptr<QNVPlayerDisplayEngine> layer_;
  std::shared_ptr<QNVClock> clock_;
  platform::DispatchQueuePtr runningQueue_;
  QNVPlayerState playerState_;
  int64_t status_ = kQNVPlayerStatusUnknown;
  std::optional<platform::Error> playerError_;
  bool muted_ = false;
  float volume_ = 1.0f;
  float volumeRampTime_ = 0.0f;
  QNVPlayerAudioEngine::LevelCallback audioLevelCallback_;
  RepresentationChangedCallback representationChangedCallback_;
  std::weak_ptr<QNVSynchronousPlayerDelegate> delegate_;
  // The newest frame seek's handler, answered by the flush observer once the
  // layer caught up; an earlier seek it replaces is answered false.
  CompletionHandler flushCompletionHandler_;

  // What the any-thread readers answer; written on the running queue
  // whenever the fields behind it change.
  struct ReadableState {
    std::optional<platform::Error> error;
    float volume = 1.0f;
    bool muted = false;
    platform::MediaTime lastStartingTime = platform::MediaTime::zero();
    platform::MediaTime lastRequestedStartTime = platform::MediaTime::zero();
  };
  mutable std::mutex readableMutex_;
  ReadableState readable_;
};

}  // namespace plexora

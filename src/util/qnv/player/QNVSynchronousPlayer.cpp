// State and lifecycle: creation and teardown, replacing the item, play and
// pause, rate, status, the layer's error recovery and level metering.
#include "util/qnv/player/QNVSynchronousPlayer.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr const char* kDeallocFormat = "%s deallocing QNVPlayer";
constexpr const char* kDescriptionFormat = "<QNVSynchronousPlayer %p m:%d pl:%d pr:%d a:%p>";
constexpr const char* kSetRendererFormat = "%s setRenderer called with renderer:%p";
constexpr const char* kSetAudioEngineFormat = "%s setAudioEngine called with audioEngine:%p";
constexpr const char* kReplaceItemFormat = "%s replaceItem called with asset:%p";
constexpr const char* kRecreatingLayerFormat = "%s recreating layer for asset:%p";
constexpr const char* kPendingPlayFormat = "%s going to call play for pending play";
constexpr const char* kPlayCalledFormat = "%s Play called";
constexpr const char* kAlreadyPlayingFormat = "%s Play called while already playing - ignoring";
constexpr const char* kPlayAfterEndFormat = "%s Play cancelled, the video already reached the end";
constexpr const char* kResumeBeforeReady = "resumeplayback called before readyToPlay is true";
constexpr const char* kLayerFailedGiveUpFormat =
    "%s resumeplayback called when layer is in failure state. already retried, so giving up";
constexpr const char* kLayerFailedRecreateFormat =
    "%s resumeplayback called when layer is in failure state. recreating layer.";
constexpr const char* kPauseCalledFormat = "%s Pause called";
constexpr const char* kPausePlaybackFormat = "%s _pausePlayback called";
constexpr const char* kSettingUpLayerFormat = "%s setting up layer: %p";
constexpr const char* kPlayAfterSetupFormat = "%s going to call play after setuplayer";
constexpr const char* kLayerErrorFormat = "%s player layer updated with error:%s";
constexpr const char* kInvalidRateFormat = "Only valid rates with the QNVPlayer are 0.0 or 1.0. %f given";
constexpr const char* kRepresentationCallbackTwice = "representationChangedCallback added twice";
constexpr const char* kItemFailedDescription = "The item failed and cannot be played.";

}  // namespace

std::shared_ptr<QNVSynchronousPlayer> QNVSynchronousPlayer::initWithDisplayEngine(
    std::shared_ptr<QNVPlayerDisplayEngine> displayEngine, std::shared_ptr<QNVPlayerAudioEngine> audioEngine,
    std::shared_ptr<QNVClock> clock, platform::DispatchQueuePtr runningQueue, bool muted) {
  std::shared_ptr<QNVSynchronousPlayer> player(new QNVSynchronousPlayer(
      std::move(displayEngine), std::move(audioEngine), std::move(clock), std::move(runningQueue), muted));
  player->layer_->setPlayerLayerDelegate(player);
  player->layer_->flushIfError();
  player->clock_->syncWithLayer(*player->layer_);
  return player;
}

QNVSynchronousPlayer::QNVSynchronousPlayer(std::shared_ptr<QNVPlayerDisplayEngine> displayEngine,
                                           std::shared_ptr<QNVPlayerAudioEngine> audioEngine,
                                           std::shared_ptr<QNVClock> clock, platform::DispatchQueuePtr runningQueue,
                                           bool muted)
    : audioEngine_(std::move(audioEngine)),
      layer_(std::move(displayEngine)),
      clock_(std::move(clock)),
      runningQueue_(std::move(runningQueue)),
      muted_(muted) {
  readable_.muted = muted;
}

QNVSynchronousPlayer::~QNVSynchronousPlayer() {
  OV_LOG(kOVAdLogLevelVerbose, kDeallocFormat, description().c_str());
  playerState_.durationTimerForAsset.reset();
  if (layer_) layer_->setPlayerLayerDelegate({});
  layer_.reset();
  if (clock_ && playerState_.levelMeterTimerObserver) clock_->removeTimeObserver(playerState_.levelMeterTimerObserver);
  playerState_.levelMeterTimerObserver.reset();
  audioLevelCallback_ = nullptr;
  // The audio engine's callbacks arrive on the running queue: it is shut
  // there, after the player is gone.
  if (audioEngine_ && runningQueue_) {
    runningQueue_->async([audioEngine = audioEngine_] {
      audioEngine->invalidate();
      audioEngine->removeLevelMetering();
    });
  }
}

std::string QNVSynchronousPlayer::description() const {
  char text[160];
  std::snprintf(text, sizeof text, kDescriptionFormat, static_cast<const void*>(this), muted_ ? 1 : 0,
                playerState_.isPlaying ? 1 : 0, playerState_.playingRequested ? 1 : 0,
                static_cast<const void*>(playerAsset_.get()));
  return text;
}

void QNVSynchronousPlayer::publishReadableState() {
  std::lock_guard lock(readableMutex_);
  readable_.error = playerError_;
  readable_.volume = volume_;
  readable_.muted = muted_;
  readable_.lastStartingTime = playerState_.lastStartingTime;
  readable_.lastRequestedStartTime = playerState_.lastRequestedStartTime;
}

std::optional<platform::Error> QNVSynchronousPlayer::error() const {
  std::lock_guard lock(readableMutex_);
  return readable_.error;
}

float QNVSynchronousPlayer::volume() const {
  std::lock_guard lock(readableMutex_);
  return readable_.volume;
}

bool QNVSynchronousPlayer::isMuted() const {
  std::lock_guard lock(readableMutex_);
  return readable_.muted;
}

platform::MediaTime QNVSynchronousPlayer::lastStartingTime() const {
  std::lock_guard lock(readableMutex_);
  return readable_.lastStartingTime;
}

platform::MediaTime QNVSynchronousPlayer::lastRequestedStartTime() const {
  std::lock_guard lock(readableMutex_);
  return readable_.lastRequestedStartTime;
}

platform::MediaTime QNVSynchronousPlayer::currentTime() const {
  return clock_ ? clock_->currentTime() : platform::MediaTime{};
}

void QNVSynchronousPlayer::setDelegate(std::weak_ptr<QNVSynchronousPlayerDelegate> delegate) {
  delegate_ = std::move(delegate);
}

void QNVSynchronousPlayer::setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kSetRendererFormat, description().c_str(), static_cast<const void*>(renderer.get()));
  layer_->setRenderer(std::move(renderer));
}

void QNVSynchronousPlayer::setAudioEngine(std::shared_ptr<QNVPlayerAudioEngine> audioEngine) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kSetAudioEngineFormat, description().c_str(),
         static_cast<const void*>(audioEngine.get()));
  if (audioEngine == audioEngine_) return;
  if (audioEngine_) {
    audioEngine_->stop();
    audioEngine_->invalidate();
  }
  removeLevelMeterCallback();
  audioEngine_ = std::move(audioEngine);
}

void QNVSynchronousPlayer::replaceCurrentItemWithPlayerItem(std::shared_ptr<QNVAssetForPlayer> item) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kReplaceItemFormat, description().c_str(), static_cast<const void*>(item.get()));
  if (item == playerAsset_) return;

  if (!playerAsset_ && layer_->status() == kQNVPlayerLayerStatusFailed) {
    if (!playerState_.recreatedLayerOnError) {
      playerState_.recreatedLayerOnError = true;
      OV_LOG(kOVAdLogLevelVerbose, kRecreatingLayerFormat, description().c_str(),
             static_cast<const void*>(item.get()));
      layer_->flushIfError();
      _setupLayer();
      replaceCurrentItemWithPlayerItem(std::move(item));
    } else {
      playerError_ = layer_->error();
      _updateStatus(kQNVPlayerStatusFailed);
      publishReadableState();
    }
    return;
  }

  playerState_.recreatedLayerOnError = false;
  _updateStatus(kQNVPlayerStatusUnknown);
  if (audioEngine_) audioEngine_->stop();
  layer_->stopRequestingMediaData();
  if (audioEngine_) audioEngine_->invalidate();
  clock_->pause();
  layer_->pause(kQNVPauseReasonRequested);
  layer_->pauseDisplayLink();
  clock_->set(platform::MediaTime::zero());
  layer_->flushAndRemoveImage();

  for (auto* observer : {&playerState_.playbackTimeObserverForAsset, &playerState_.durationTimerForAsset,
                         &playerState_.stallTimerObserver, &playerState_.sampleBufferFlushTimerObserver}) {
    if (*observer) clock_->removeTimeObserver(*observer);
    observer->reset();
  }
  // The level-meter observer's firings would keep reaching the audio engine
  // after the state that owned it is gone.
  if (playerState_.levelMeterTimerObserver) clock_->removeTimeObserver(playerState_.levelMeterTimerObserver);
  if (flushCompletionHandler_) std::exchange(flushCompletionHandler_, nullptr)(false);

  const bool seekToStart = item ? item->resetAssetToBeginningIfNeeded() : false;
  const bool playingRequested = playerState_.playingRequested;
  playerState_ = QNVPlayerState{};
  playerState_.playingRequested = playingRequested;
  playerAsset_ = std::move(item);
  publishReadableState();
  if (_itemHasFailed()) {
    // Nothing of the item can play: its owner hears of it once, as a
    // failure, and the player never starts (so never reaches an end).
    _failWithItemError();
    if (auto delegate = delegate_.lock()) delegate->currentItemUpdated(playerAsset_);
    return;
  }

  if (seekToStart) seekToTime(playerAsset_->timeAfterSeek(), nullptr);
  platform::AffineTransform transform{0, 0, 0, 0, 0, 0};
  if (playerAsset_) {
    const QNVAffineTransform preferred = playerAsset_->preferredTransform();
    transform = {preferred.a, preferred.b, preferred.c, preferred.d, preferred.tx, preferred.ty};
  }
  layer_->setPreferredTransform(transform);
  if (auto delegate = delegate_.lock()) delegate->currentItemUpdated(playerAsset_);

  if (playerAsset_ && playerAsset_->shouldBufferVideoAsSoonAsPossible() && _readyToPlay()) _startVideo();
  if (playerState_.playingRequested && _readyToPlay()) {
    OV_LOG(kOVAdLogLevelVerbose, kPendingPlayFormat, description().c_str());
    play();
  }
}

bool QNVSynchronousPlayer::_readyToPlay() const {
  return playerAsset_ && !_itemHasFailed() && !playerState_.endTimeReached &&
         !playerState_.backgroundPauseTime.isValid();
}

bool QNVSynchronousPlayer::_itemHasFailed() const {
  return playerAsset_ && playerAsset_->status() == kQNVAssetStatusFailed;
}

void QNVSynchronousPlayer::_failWithItemError() {
  const platform::Error error = playerAsset_->error().value_or(
      platform::Error(kQNVPlayerItemErrorDomain, kQNVPlayerItemErrorFailed,
                      platform::Dictionary{{platform::kLocalizedDescriptionKey, kItemFailedDescription}}));
  playerAsset_->addErrorToLog(error, true);
  playerError_ = error;
  _updateStatus(kQNVPlayerStatusFailed);
  publishReadableState();
}

void QNVSynchronousPlayer::play() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelDebug, kPlayCalledFormat, description().c_str());
  if (playerState_.isPlaying) {
    OV_LOG(kOVAdLogLevelDebug, kAlreadyPlayingFormat, description().c_str());
    return;
  }
  if (playerState_.endTimeReached) {
    OV_LOG(kOVAdLogLevelDebug, kPlayAfterEndFormat, description().c_str());
    return;
  }
  playerState_.playingRequested = true;
  if (!_readyToPlay()) return;

  _setupAudio();
  if (!playerState_.stallTimerObserver) playerState_.stallTimerObserver = _addStallTimer();
  playerState_.lastRequestedStartTime = currentTime().isValid() ? currentTime() : platform::MediaTime{};
  _resumePlayback();
  if (!playerState_.playbackTimeObserverForAsset) playerState_.playbackTimeObserverForAsset = _addPlaybackTimerForAsset();
  if (!playerState_.durationTimerForAsset) playerState_.durationTimerForAsset = _addDurationTimerForAsset();
  if (!playerState_.isStalled) _updateStatus(kQNVPlayerStatusReadyToPlay);
  publishReadableState();
}

void QNVSynchronousPlayer::_resumePlayback() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!_readyToPlay()) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kResumeBeforeReady);
    return;
  }
  if (layer_->status() == kQNVPlayerLayerStatusFailed) {
    if (playerState_.recreatedLayerOnError) {
      OV_LOG(kOVAdLogLevelDebug, kLayerFailedGiveUpFormat, description().c_str());
      playerState_.recreatedLayerOnError = false;
      playerError_ = layer_->error();
      _updateStatus(kQNVPlayerStatusFailed);
      publishReadableState();
      return;
    }
    OV_LOG(kOVAdLogLevelDebug, kLayerFailedRecreateFormat, description().c_str());
    if (layer_->flushIfError()) {
      playerState_.recreatedLayerOnError = true;
      _setupLayer();
      return;
    }
  }
  playerState_.recreatedLayerOnError = false;
  if (playerState_.sampleBufferFlushTimerObserver) clock_->suspendTimeObserver(playerState_.sampleBufferFlushTimerObserver);

  playerState_.lastStartingTime = clock_->currentTime();
  clock_->resume();
  layer_->resume();
  playerAsset_->playbackStarted();
  if (_videoHasAudioTrack() && _videoIsAudioActive()) {
    _setupAudio();
    audioEngine_->playWithStartTime(playerState_.lastStartingTime);
    _reenableLevelMeteringIfNeeded();
    _syncVolume();
  }
  _startVideo();
  playerState_.isPlaying = true;
  publishReadableState();
  if (auto delegate = delegate_.lock()) delegate->rateUpdated(rate());

  if (playerState_.stallTimerObserver) clock_->resumeTimeObserver(playerState_.stallTimerObserver);
  playerState_.isStalled = false;
  _manageStallStateWithDidStartPlaying(false);
}

void QNVSynchronousPlayer::pause() { _pause(kQNVPauseReasonRequested); }

void QNVSynchronousPlayer::_pause(int32_t reason) {
  OV_LOG(kOVAdLogLevelDebug, kPauseCalledFormat, description().c_str());
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  _updateTimersOnPause();
  _pausePlayback(reason);
  playerState_.playingRequested = false;
  if (playerAsset_) playerAsset_->playbackPauseRequested(reason);
}

void QNVSynchronousPlayer::_updateTimersOnPause() {
  if (playerState_.stallTimerObserver) clock_->suspendTimeObserver(playerState_.stallTimerObserver);
  if (playerState_.playbackTimeObserverForAsset) {
    clock_->removeTimeObserver(playerState_.playbackTimeObserverForAsset);
    playerState_.playbackTimeObserverForAsset.reset();
  }
}

void QNVSynchronousPlayer::_pausePlayback(int32_t reason) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!playerState_.isPlaying) return;
  OV_LOG(kOVAdLogLevelDebug, kPausePlaybackFormat, description().c_str());
  clock_->pause();
  // A stall after the start keeps the time play was asked at, so the
  // owner still sees where the viewer started.
  if (reason != kQNVPauseReasonStallAfterStart) playerState_.lastRequestedStartTime = clock_->currentTime();
  playerState_.lastStartingTime = clock_->currentTime();
  layer_->pause(reason);
  layer_->stopRequestingMediaData();
  if (audioEngine_) audioEngine_->pause();
  playerState_.isPlaying = false;
  publishReadableState();
  if (auto delegate = delegate_.lock()) delegate->rateUpdated(rate());
}

void QNVSynchronousPlayer::setRate(float rate) {
  constexpr float kSmallestNormal = std::numeric_limits<float>::min();
  if (rate >= 0.0f && rate < kSmallestNormal) {
    pause();
  } else if (rate <= 1.0f && 1.0f - rate < kSmallestNormal) {
    play();
  } else {
    QNV_SOFT_ASSERT(false, kInvalidRateFormat, static_cast<double>(rate));
  }
}

void QNVSynchronousPlayer::_updateStatus(int64_t status) {
  if (status == status_) return;
  status_ = status;
  if (status != kQNVPlayerStatusFailed) playerError_.reset();
  publishReadableState();
  if (auto delegate = delegate_.lock()) delegate->statusUpdated(status);
}

void QNVSynchronousPlayer::_setupLayer() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kSettingUpLayerFormat, description().c_str(), static_cast<const void*>(layer_.get()));
  clock_->syncWithLayer(*layer_);
  playerState_.isFirstVideoFrame = true;
  if (playerState_.playingRequested && _readyToPlay()) {
    OV_LOG(kOVAdLogLevelVerbose, kPlayAfterSetupFormat, description().c_str());
    play();
  }
}

void QNVSynchronousPlayer::layerUpdatedWithError(const platform::Error& error) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!playerAsset_) return;
  OV_LOG(kOVAdLogLevelDebug, kLayerErrorFormat, description().c_str(), error.localizedDescription().c_str());
  if (status_ == kQNVPlayerStatusFailed) return;
  playerError_ = error;
  _updateStatus(kQNVPlayerStatusFailed);
  publishReadableState();
  pause();
  if (layer_->flushIfError()) _setupLayer();
}

std::shared_ptr<QNVPlayerTimeObserver> QNVSynchronousPlayer::createPeriodicTimeObserverForInterval(
    const platform::MediaTime& interval, std::function<void(platform::MediaTime)> block) {
  return clock_->createTimeObserverWithInterval(interval, std::move(block), false, true);
}

void QNVSynchronousPlayer::addTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  clock_->addTimeObserver(observer);
}

void QNVSynchronousPlayer::removeTimeObserver(const std::shared_ptr<QNVPlayerTimeObserver>& observer) {
  if (observer) clock_->removeTimeObserver(observer);
}

void QNVSynchronousPlayer::addLevelMeterCallback(QNVPlayerAudioEngine::LevelCallback callback,
                                                 const platform::MediaTime& timeInterval) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (playerState_.levelMeterTimerObserver) return;
  audioLevelCallback_ = std::move(callback);
  if (audioEngine_) audioEngine_->enableLevelMeteringWithCallback(audioLevelCallback_);
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  auto observer = clock_->createTimeObserverWithInterval(
      timeInterval,
      [weakSelf](platform::MediaTime) {
        if (auto self = weakSelf.lock()) self->_levelMeterCallback();
      },
      false, true);
  clock_->addTimeObserver(observer);
  playerState_.levelMeterTimerObserver = std::move(observer);
}

void QNVSynchronousPlayer::_levelMeterCallback() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (audioEngine_) audioEngine_->sendCurrentAudioLevelToCallback();
}

void QNVSynchronousPlayer::removeLevelMeterCallback() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (playerState_.levelMeterTimerObserver) clock_->removeTimeObserver(playerState_.levelMeterTimerObserver);
  playerState_.levelMeterTimerObserver.reset();
  audioLevelCallback_ = nullptr;
  if (audioEngine_) audioEngine_->removeLevelMetering();
}

void QNVSynchronousPlayer::_reenableLevelMeteringIfNeeded() {
  if (playerState_.levelMeterTimerObserver && audioLevelCallback_ && audioEngine_) {
    audioEngine_->enableLevelMeteringWithCallback(audioLevelCallback_);
  }
}

void QNVSynchronousPlayer::addRepresentationChangedCallback(RepresentationChangedCallback callback) {
  if (representationChangedCallback_) OV_LOG(kOVAdLogLevelWarn, "%s", kRepresentationCallbackTwice);
  representationChangedCallback_ = std::move(callback);
}

}  // namespace plexora

// Stalls, seeking, volume and mute, audio engine errors, and the
// application going inactive and active again.
#include <utility>

#include "platform/foundation/NotificationCenter.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"

namespace plexora {
namespace {

using platform::MediaTime;

constexpr const char* kResumingFromStallFormat = "%s resuming from stalling";
constexpr const char* kStartStallingFormat = "%s start stalling";
constexpr const char* kFrameSeekWhilePlaying = "Frame seek initiated in video playing state";
constexpr const char* kUnsupportedTolerance =
    "seekToTime called with unsupported tolerance values - ovadsdk_dfl_kCMTimeZero() will be used instead and may "
    "cause decode delay";
constexpr const char* kSeekRequestedFormat = "%s seek to requested time: %f";
constexpr const char* kSeekFinishedFormat = "%s seek finished with result:%d for time:%f";
constexpr const char* kStoppingAudioFormat = "%s stopping audio queue and flushing layer";
constexpr const char* kTimeAfterSeekFormat = "%s time after seek:%f";
constexpr const char* kMuteIgnoredFormat = "%s mute called but ignored";
constexpr const char* kMuteFormat = "%s mute called";
constexpr const char* kUnmuteFormat = "%s unmute called";
constexpr const char* kUnmuteBeforeInitFormat = "%s unmuting before audio queue initialized";
constexpr const char* kAdvancingAudioFormat = "%s advancing audio time to %f. new audio pts: %f";
constexpr const char* kAudioErrorFormat = "%s audio queue emitted error:%s";
constexpr const char* kWillResignFormat = "%s willresignactive. time:%f";
constexpr const char* kDidBecomeActiveFormat = "%s didbecomeactive";

}  // namespace

void QNVSynchronousPlayer::_manageStallStateWithDidStartPlaying(bool didStartPlaying) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (!playerAsset_) return;
  if (playerState_.isStalled) {
    if (!playerAsset_->shouldRestartAfterStalling()) return;
    OV_LOG(kOVAdLogLevelDebug, kResumingFromStallFormat, description().c_str());
    playerState_.isStalled = false;
    if (playerState_.playingRequested) {
      _resumePlayback();
      if (status_ != kQNVPlayerStatusReadyToPlay) _updateStatus(kQNVPlayerStatusReadyToPlay);
    }
    return;
  }
  const int32_t reason = didStartPlaying ? kQNVPauseReasonStallAfterStart : kQNVPauseReasonStallBeforeStart;
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  const bool stall = playerAsset_->shouldPauseForStallingWithNextCheckCallback(
      [weakSelf, didStartPlaying] {
        if (auto self = weakSelf.lock()) self->_manageStallStateWithDidStartPlaying(didStartPlaying);
      },
      reason);
  if (!stall) return;
  OV_LOG(kOVAdLogLevelDebug, kStartStallingFormat, description().c_str());
  _pausePlayback(reason);
  playerState_.isStalled = true;
  platform::NotificationCenter::defaultCenter().post(kAVPlayerItemPlaybackStalledNotification, itemIdentity());
}

void QNVSynchronousPlayer::seekToTime(const MediaTime& time, CompletionHandler completionHandler) {
  _seekToTime(time, false, std::move(completionHandler));
}

void QNVSynchronousPlayer::seekToTime(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime&,
                                      CompletionHandler completionHandler) {
  if (toleranceBefore.isPositiveInfinity()) {
    _seekToTime(time, false, std::move(completionHandler));
  } else if (playerState_.isPlaying) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFrameSeekWhilePlaying);
    _seekToTime(time, false, std::move(completionHandler));
  } else {
    if (toleranceBefore != MediaTime::zero()) OV_LOG(kOVAdLogLevelWarn, "%s", kUnsupportedTolerance);
    _seekToTime(time, true, std::move(completionHandler));
  }
}

void QNVSynchronousPlayer::_seekToTime(const MediaTime& time, bool frameSeekOn, CompletionHandler completionHandler) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kSeekRequestedFormat, description().c_str(), time.seconds());
  if (playerState_.sampleBufferFlushTimerObserver) clock_->suspendTimeObserver(playerState_.sampleBufferFlushTimerObserver);
  const bool seeked = playerAsset_ && playerAsset_->seekToPosition(time);
  OV_LOG(kOVAdLogLevelDebug, kSeekFinishedFormat, description().c_str(), seeked ? 1 : 0, time.seconds());
  if (!seeked) {
    // The frame seek the flush observer was finishing will not finish now.
    if (flushCompletionHandler_) std::exchange(flushCompletionHandler_, nullptr)(false);
    if (completionHandler) completionHandler(false);
    return;
  }

  OV_LOG(kOVAdLogLevelVerbose, kStoppingAudioFormat, description().c_str());
  if (audioEngine_) audioEngine_->reset();
  layer_->flush();
  playerState_.endTimeReached = false;
  playerState_.videoFramesFinished = false;
  playerState_.latestEnqueuedVideoPts = MediaTime::zero();
  playerState_.latestEnqueuedAudioPts = MediaTime::zero();
  playerState_.latestEnqueuedAudioDts = MediaTime::zero();

  const MediaTime newTime = frameSeekOn ? time : playerAsset_->timeAfterSeek();
  // Re-adding restarts an observer, so the suspended ones are noted first
  // and suspended again after.
  std::vector<std::pair<std::shared_ptr<QNVPlayerTimeObserver>, bool>> observers;
  for (auto& observer : clock_->observers()) observers.emplace_back(observer, observer->suspended);
  clock_->removeAllTimeObservers();
  clock_->set(newTime);
  playerAsset_->updatePlaybackTime(newTime);
  playerState_.lastStartingTime = newTime;
  playerState_.lastRequestedStartTime = newTime;
  publishReadableState();
  _manageStallStateWithDidStartPlaying(false);
  for (const auto& [observer, suspended] : observers) {
    clock_->addTimeObserver(observer);
    if (suspended) clock_->suspendTimeObserver(observer);
  }
  if (!playerState_.playingRequested) _updateTimersOnPause();
  // The layer was flushed: playing on, it is asked for the frames from the
  // new time at once. One that had stopped asking (its buffer was full)
  // would otherwise keep the old picture up until the next playback-time
  // check, passing over the frames of the new time. A stalled player asks
  // when it resumes.
  if (playerState_.isPlaying) {
    playerState_.stoppedEnqueuingVideo = false;
    _startVideo();
  }

  if (!frameSeekOn) {
    // A frame seek still waiting for its frames is superseded.
    if (flushCompletionHandler_) std::exchange(flushCompletionHandler_, nullptr)(false);
    if (completionHandler) completionHandler(true);
  } else if (!playerState_.sampleBufferFlushTimerObserver) {
    playerState_.sampleBufferFlushTimerObserver = _addSampleBufferFlushTimerWithCompletionHandler(std::move(completionHandler));
  } else {
    // A frame seek still waiting is superseded by this one.
    if (flushCompletionHandler_) std::exchange(flushCompletionHandler_, nullptr)(false);
    flushCompletionHandler_ = std::move(completionHandler);
    clock_->resumeTimeObserver(playerState_.sampleBufferFlushTimerObserver);
  }
  OV_LOG(kOVAdLogLevelVerbose, kTimeAfterSeekFormat, description().c_str(), clock_->currentTime().seconds());
}

void QNVSynchronousPlayer::setVolume(float volume) { setVolume(volume, 0.0f); }

void QNVSynchronousPlayer::setVolume(float volume, float rampTime) {
  volume_ = volume;
  volumeRampTime_ = rampTime;
  publishReadableState();
  _syncVolume();
}

void QNVSynchronousPlayer::_syncVolume() {
  if (!audioEngine_) return;
  if (muted_) {
    audioEngine_->setVolume(0.0f, 0.0f);
  } else {
    audioEngine_->setVolume(volume_, volumeRampTime_);
  }
}

void QNVSynchronousPlayer::setMuted(bool muted) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (muted == muted_) {
    OV_LOG(kOVAdLogLevelVerbose, kMuteIgnoredFormat, description().c_str());
    return;
  }
  if (!_videoHasAudioTrack()) {
    muted_ = muted;
    publishReadableState();
    return;
  }
  if (muted) {
    OV_LOG(kOVAdLogLevelDebug, kMuteFormat, description().c_str());
    if (audioEngine_) {
      audioEngine_->invalidate();
      audioEngine_->removeLevelMetering();
    }
    muted_ = true;
    publishReadableState();
    playerState_.firstAudioFrameEnqueued = false;
    playerState_.audioEngineInitialized = false;
    _syncVolume();
    return;
  }
  OV_LOG(kOVAdLogLevelVerbose, kUnmuteFormat, description().c_str());
  muted_ = false;
  publishReadableState();
  _syncVolume();
  _setupAudio();
  if (!playerState_.isPlaying) {
    if (playerAsset_) _adjustAudioFrameToCurrentPlaybackTime();
    return;
  }
  if (!playerState_.audioEngineInitialized) OV_LOG(kOVAdLogLevelDebug, kUnmuteBeforeInitFormat, description().c_str());
  if (!audioEngine_) return;
  audioEngine_->prepareToPlay();
  _adjustAudioFrameToCurrentPlaybackTime();
  OV_LOG(kOVAdLogLevelDebug, kAdvancingAudioFormat, description().c_str(), clock_->currentTime().seconds(),
         playerAsset_->currentFrameMetadataForTrack(kQNVAudioTrack).presentationTime.seconds());
  audioEngine_->playWithStartTime(clock_->currentTime());
  _reenableLevelMeteringIfNeeded();
}

void QNVSynchronousPlayer::_audioEngineErrorCallback(const platform::Error& error) {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kAudioErrorFormat, description().c_str(), error.localizedDescription().c_str());
  if (playerAsset_) playerAsset_->addErrorToLog(error, false);
  setMuted(true);
}

void QNVSynchronousPlayer::applicationWillResignActive() {
  playerState_.backgroundPauseTime = clock_->currentTime();
  OV_LOG(kOVAdLogLevelVerbose, kWillResignFormat, description().c_str(), playerState_.backgroundPauseTime.seconds());
  if (playerState_.sampleBufferFlushTimerObserver) clock_->suspendTimeObserver(playerState_.sampleBufferFlushTimerObserver);
  _pause(kQNVPauseReasonApplicationInactive);
  layer_->pauseDisplayLink();
  layer_->flush();
  _updateStatus(kQNVPlayerStatusUnknown);
}

void QNVSynchronousPlayer::applicationDidBecomeActive() {
  OV_LOG(kOVAdLogLevelVerbose, kDidBecomeActiveFormat, description().c_str());
  if (!playerAsset_) {
    playerState_.backgroundPauseTime = MediaTime::invalid();
    return;
  }
  _setupLayer();
  if (playerState_.backgroundPauseTime.isValid()) seekToTime(playerState_.backgroundPauseTime, nullptr);
  playerState_.backgroundPauseTime = MediaTime::invalid();
  if (playerState_.playingRequested) {
    play();
  } else {
    _startVideo();
  }
}

}  // namespace plexora

// Frame pumping: video pushed when the layer asks, audio pulled one
// audio-queue buffer at a time, both bounded by the item's buffer times
// ahead of the clock, and the playback, duration and flush observers.
#include <cstring>
#include <utility>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/DecompressionSession.h"
#include "util/OVAdLogger.h"
#include "util/qnv/decode/QNVDecompressionSession.h"
#include "util/qnv/core/QNVFrameFlags.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"

namespace plexora {
namespace {

using platform::MediaTime;

const MediaTime kStallCheckInterval = MediaTime::make(1, 5);
const MediaTime kPlaybackObserverInterval = MediaTime::make(1, 5);
const MediaTime kFlushObserverInterval = MediaTime::make(1, 20);

constexpr const char* kStartVideoFormat = "%s start video called";
constexpr const char* kRequestingMediaFormat = "%s requesting media";
constexpr const char* kFinishedVideoFormat = "%s Finished enqueuing video frames";
constexpr const char* kVideoBufferFullFormat =
    "%s stop requesting video data when buffer is too large. enqueued: %f currentTime: %f";
constexpr const char* kVideoNotReadyFormat = "%s video frame not ready.";
constexpr const char* kVideoDataNullFormat = "%s video frame data is null.";
constexpr const char* kSampleBufferFailedFormat = "%s could not wrap the video frame at %f; it is dropped";
constexpr const char* kNoVideoFormatFormat = "%s the item's video has no format description; it cannot be decoded";
constexpr const char* kRepresentationCallbackMissing = "_representationChangedCallback not present";
constexpr const char* kAudioBufferFullFormat =
    "%s stop requesting audio data when buffer is too large: currentTime: %f enqueuedTime: %f";
constexpr const char* kAudioDataMissing = "mAudioData is null on the buffer callback, not enqueuing frames";
constexpr const char* kAudioNotReadyFormat = "%s audio frame not ready.";
constexpr const char* kAudioDataNullFormat = "%s audio frame data is null.";
constexpr const char* kAudioDtsFormat = "Audio DTS must be strictly increasing. curr:%llu next:%llu";
constexpr const char* kFinishedAudioFormat = "%s Finished enqueuing audio frames";
constexpr const char* kNoAssetForAdjust = "asset must not be nil for adjustAudioFrame";
constexpr const char* kEmptyAudioFrameFormat =
    "%s Empty audio frame encountered while advancing audio to playback time: %f";
constexpr const char* kAddingPlaybackTimerFormat = "%s adding playback timer for asset";
constexpr const char* kInvalidPlaybackTimeFormat = "%s invalid playback time. ignoring: %llu scale:%d";
constexpr const char* kResumeVideoFormat =
    "%s resume requesting video data when buffer is small enough. pts: %f currentTime: %f";
constexpr const char* kResumeAudioFormat = "%s resume requesting audio data when buffer is small enough";
constexpr const char* kAddingDurationTimerFormat = "%s adding duration timer for asset. duration:%f";
constexpr const char* kReachedEndFormat = "%s reached playback end time: %f";

}  // namespace

void QNVSynchronousPlayer::_startVideo() {
  OV_LOG(kOVAdLogLevelVerbose, kStartVideoFormat, description().c_str());
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  layer_->requestMediaDataWhenReadyOnQueue(runningQueue_, [weakSelf] {
    if (auto self = weakSelf.lock()) self->_enqueueBuffer();
  });
}

// An item that decodes itself hands out images through an interface the
// engine's assets do not offer here; its frames are pumped like any other.
void QNVSynchronousPlayer::_enqueueBuffer() { _videoLayerEnqueueFrameCallback(); }

bool QNVSynchronousPlayer::_enqueuedTime(const MediaTime& enqueued, const MediaTime& length) const {
  return subtract(enqueued, clock_->currentTime()) > length;
}

bool QNVSynchronousPlayer::_videoBufferLengthIsGreaterThan(const MediaTime& length) const {
  return _enqueuedTime(playerState_.latestEnqueuedVideoPts, length);
}

bool QNVSynchronousPlayer::_audioBufferLengthIsGreaterThan(const MediaTime& length) const {
  return _enqueuedTime(playerState_.latestEnqueuedAudioPts, length);
}

void QNVSynchronousPlayer::_markDisplayImmediately(platform::SampleBuffer& sampleBuffer) {
  auto* attachments = sampleBuffer.sampleAttachmentsArray(true);
  if (attachments == nullptr) return;
  for (auto& attachment : *attachments) {
    attachment.set(kQNVSampleAttachmentDoNotDisplay, false);
    attachment.set(kQNVSampleAttachmentDisplayImmediately, true);
  }
}

void QNVSynchronousPlayer::_videoLayerEnqueueFrameCallback() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  OV_LOG(kOVAdLogLevelVerbose, kRequestingMediaFormat, description().c_str());
  while (playerAsset_ && layer_->isReadyForMoreMediaData()) {
    if (!playerAsset_->trackHasMoreFrames(kQNVVideoTrack)) {
      _finishEnqueuingVideo();
      return;
    }
    if (_videoBufferLengthIsGreaterThan(playerAsset_->maxBufferTime())) {
      playerState_.stoppedEnqueuingVideo = true;
      OV_LOG(kOVAdLogLevelVerbose, kVideoBufferFullFormat, description().c_str(),
             playerState_.latestEnqueuedVideoPts.seconds(), clock_->currentTime().seconds());
      layer_->stopRequestingMediaData();
      return;
    }
    const QNVFrameMetadata metadata = playerAsset_->currentFrameMetadataForTrack(kQNVVideoTrack);
    // An asset may learn that its track ended only when asked for a frame.
    if (metadata.size == 0 && !playerAsset_->trackHasMoreFrames(kQNVVideoTrack)) {
      _finishEnqueuingVideo();
      return;
    }
    if (metadata.size == 0) {
      OV_LOG(kOVAdLogLevelVerbose, kVideoNotReadyFormat, description().c_str());
      layer_->stopRequestingMediaData();
      playerState_.stoppedEnqueuingVideo = true;
      return;
    }
    _checkIfRepresentationChanged();
    const uint8_t* data = playerAsset_->currentFrameDataForTrack(kQNVVideoTrack);
    if (data == nullptr) {
      OV_LOG(kOVAdLogLevelVerbose, kVideoDataNullFormat, description().c_str());
      layer_->stopRequestingMediaData();
      playerState_.stoppedEnqueuingVideo = true;
      return;
    }
    auto sampleBuffer = platform::SampleBuffer::create(
        platform::BlockBuffer::withBytes(std::vector<uint8_t>(data, data + metadata.size)),
        platform::SampleFormat{playerAsset_->formatDesc(), std::nullopt}, 1,
        {{metadata.duration, metadata.presentationTime, metadata.decodeTime}}, {metadata.size});
    playerAsset_->advanceFrameForTrack(kQNVVideoTrack);
    // Without a format description no decoder can be made for the track:
    // passing its frames over would play a picture that never comes and
    // report success. The player fails as when the layer's decoder refuses
    // a format.
    if (!playerAsset_->formatDesc()) {
      OV_LOG(kOVAdLogLevelWarn, kNoVideoFormatFormat, description().c_str());
      layer_->stopRequestingMediaData();
      layerUpdatedWithError(
          platform::Error(kQNVGLDecompressionErrorDomain, platform::kDecompressionSessionInvalidFormat));
      return;
    }
    // A frame that cannot be wrapped cannot be decoded either: it is passed
    // over so the pump goes on with the next one.
    if (!sampleBuffer || !sampleBuffer->format().video) {
      OV_LOG(kOVAdLogLevelWarn, kSampleBufferFailedFormat, description().c_str(), metadata.presentationTime.seconds());
      continue;
    }
    // A frame outside the clip's edits is decoded for the frames after it;
    // the layer never shows it.
    if ((metadata.flags & kQNVFrameFlagDoNotDisplay) != 0) {
      layer_->enqueueSampleBuffer(*sampleBuffer, metadata.flags);
      continue;
    }
    if (playerState_.isFirstVideoFrame) _markDisplayImmediately(*sampleBuffer);
    layer_->enqueueSampleBuffer(*sampleBuffer, metadata.flags);
    playerState_.latestEnqueuedVideoPts = metadata.presentationTime;
    playerState_.isFirstVideoFrame = false;
  }
}

void QNVSynchronousPlayer::_finishEnqueuingVideo() {
  layer_->stopRequestingMediaData();
  // The last frames of a stream that reorders (and a one-frame clip) stay
  // in the decoder until it is told the stream ended.
  if (!playerState_.videoFramesFinished) {
    playerState_.videoFramesFinished = true;
    layer_->finishDelayedFrames();
  }
  OV_LOG(kOVAdLogLevelDebug, kFinishedVideoFormat, description().c_str());
  if (!playerState_.durationTimerForAsset) playerState_.durationTimerForAsset = _addDurationTimerForAsset();
}

void QNVSynchronousPlayer::_checkIfRepresentationChanged() {
  const std::optional<std::string> previous = playerState_.representationId;
  playerState_.representationId = playerAsset_->representationId();
  if (!previous || previous->empty() || previous == playerState_.representationId) return;
  if (!representationChangedCallback_) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kRepresentationCallbackMissing);
    return;
  }
  representationChangedCallback_(*previous);
}

bool QNVSynchronousPlayer::_videoHasAudioTrack() const {
  return playerAsset_ && playerAsset_->containsTrack(kQNVAudioTrack);
}

void QNVSynchronousPlayer::_setupAudio() {
  if (!_videoHasAudioTrack() || muted_ || playerState_.audioEngineInitialized || !audioEngine_) return;
  uint32_t frameSize = playerAsset_->currentFrameMetadataForTrack(kQNVAudioTrack).size;
  if (frameSize == 0) frameSize = playerState_.sampleAudioFrameSize;
  if (frameSize == 0) return;
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  audioEngine_->setAudioStreamBasicDescription(
      playerAsset_->asbd(), platform::Value(playerAsset_->audioStreamExtraParameters()),
      [weakSelf](platform::AudioQueueBuffer& buffer, QNVAudioTimeStamp* timestamp, const MediaTime*,
                 bool* firstPacket) {
        auto self = weakSelf.lock();
        return self && self->_audioPutDataIntoBufferCallback(buffer, timestamp, firstPacket);
      },
      [weakSelf](const platform::Error& error) {
        if (auto self = weakSelf.lock()) self->_audioEngineErrorCallback(error);
      },
      frameSize);
  playerState_.audioEngineInitialized = true;
}

bool QNVSynchronousPlayer::_audioPutDataIntoBufferCallback(platform::AudioQueueBuffer& buffer,
                                                           QNVAudioTimeStamp* timestamp, bool* isFirstPacket) {
  if (!playerState_.playingRequested || !playerAsset_) return false;
  bool firstOfBuffer = true;
  while (playerAsset_->trackHasMoreFrames(kQNVAudioTrack)) {
    if (_audioBufferLengthIsGreaterThan(playerAsset_->maxBufferTime())) {
      playerState_.stoppedEnqueuingAudio = true;
      OV_LOG(kOVAdLogLevelVerbose, kAudioBufferFullFormat, description().c_str(), clock_->currentTime().seconds(),
             playerState_.latestEnqueuedAudioPts.seconds());
      return false;
    }
    if (buffer.audioData.size() < buffer.audioDataBytesCapacity || buffer.audioDataBytesCapacity == 0) {
      QNV_SOFT_ASSERT(false, "%s", kAudioDataMissing);
      return false;
    }
    const QNVFrameMetadata metadata = playerAsset_->currentFrameMetadataForTrack(kQNVAudioTrack);
    if (isFirstPacket != nullptr && (metadata.flags & kQNVFrameFlagFirstAudioPacketOfRun) != 0) *isFirstPacket = true;
    if (metadata.size == 0) {
      playerState_.stoppedEnqueuingAudio = true;
      OV_LOG(kOVAdLogLevelVerbose, kAudioNotReadyFormat, description().c_str());
      return false;
    }
    const uint32_t freeBytes = buffer.audioDataBytesCapacity - buffer.audioDataByteSize;
    if (freeBytes < metadata.size || buffer.packetDescriptionCount >= buffer.packetDescriptionCapacity ||
        buffer.packetDescriptions.size() <= buffer.packetDescriptionCount) {
      if (buffer.packetDescriptionCount > 0) return true;
      _audioEngineErrorCallback(platform::Error(kQNVAudioQueueErrorDomain, kQNVAudioQueueErrorPacketTooLarge));
      return false;
    }
    const uint8_t* data = playerAsset_->currentFrameDataForTrack(kQNVAudioTrack);
    if (data == nullptr) {
      playerState_.stoppedEnqueuingAudio = true;
      OV_LOG(kOVAdLogLevelDebug, kAudioDataNullFormat, description().c_str());
      return false;
    }
    std::memcpy(buffer.audioData.data() + buffer.audioDataByteSize, data, metadata.size);
    buffer.packetDescriptions[buffer.packetDescriptionCount] = {buffer.audioDataByteSize,
                                                                playerAsset_->asbd().framesPerPacket, metadata.size};
    buffer.audioDataByteSize += metadata.size;
    buffer.packetDescriptionCount += 1;

    const MediaTime& previousDts = playerState_.latestEnqueuedAudioDts;
    if (previousDts > MediaTime::zero() && !(metadata.decodeTime > previousDts)) {
      OV_LOG(kOVAdLogLevelWarn, kAudioDtsFormat, static_cast<unsigned long long>(previousDts.value),
             static_cast<unsigned long long>(metadata.decodeTime.value));
    }
    playerState_.latestEnqueuedAudioPts = metadata.presentationTime;
    playerState_.latestEnqueuedAudioDts = metadata.decodeTime;
    playerState_.firstAudioFrameEnqueued = true;
    playerAsset_->advanceFrameForTrack(kQNVAudioTrack);

    if (firstOfBuffer) {
      firstOfBuffer = false;
      if (timestamp != nullptr) {
        const MediaTime start =
            add(subtract(metadata.presentationTime, clock_->currentTime()), audioEngine_->getCurrentTime());
        *timestamp = {start.seconds() * playerAsset_->asbd().sampleRate, QNVAudioTimeStamp::kSampleTimeValid};
      }
    }
    if ((metadata.flags & kQNVFrameFlagLastAudioPacketOfRun) != 0) return true;
  }
  OV_LOG(kOVAdLogLevelDebug, kFinishedAudioFormat, description().c_str());
  audioEngine_->stopLoadingData();
  return buffer.packetDescriptionCount > 0;
}

void QNVSynchronousPlayer::_adjustAudioFrameToCurrentPlaybackTime() {
  // Without an item there is nothing to skip.
  if (!playerAsset_) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kNoAssetForAdjust);
    return;
  }
  const MediaTime now = clock_->currentTime();
  do {
    const QNVFrameMetadata metadata = playerAsset_->currentFrameMetadataForTrack(kQNVAudioTrack);
    if (metadata.size == 0) {
      OV_LOG(kOVAdLogLevelVerbose, kEmptyAudioFrameFormat, description().c_str(), now.seconds());
      break;
    }
    playerState_.sampleAudioFrameSize = metadata.size;
    // A packet still playing at the time is kept: the encoder's priming,
    // which ends at 0, prepares the decoder for the first packet heard.
    if (!(add(metadata.presentationTime, metadata.duration) < now)) break;
    playerAsset_->advanceFrameForTrack(kQNVAudioTrack);
  } while (playerAsset_->trackHasMoreFrames(kQNVAudioTrack));
  playerAsset_->currentFrameDataForTrack(kQNVAudioTrack);
}

std::shared_ptr<QNVPlayerTimeObserver> QNVSynchronousPlayer::_addPlaybackTimerForAsset() {
  OV_LOG(kOVAdLogLevelVerbose, kAddingPlaybackTimerFormat, description().c_str());
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  auto observer = clock_->createTimeObserverWithInterval(
      kPlaybackObserverInterval,
      [weakSelf](MediaTime time) {
        if (auto self = weakSelf.lock()) self->_playbackTimeListenerForAsset(time);
      },
      false, true);
  clock_->addTimeObserver(observer);
  return observer;
}

void QNVSynchronousPlayer::_playbackTimeListenerForAsset(const MediaTime& time) {
  if (!time.isValid() || time.value < 0) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidPlaybackTimeFormat, description().c_str(),
           static_cast<unsigned long long>(time.value), time.timescale);
    return;
  }
  if (!playerAsset_) return;
  playerAsset_->updatePlaybackTime(time);
  if (!_videoHasAudioTrack() || _videoIsAudioActive()) {
    if (!playerState_.firstAudioFrameEnqueued && playerState_.isPlaying) _adjustAudioFrameToCurrentPlaybackTime();
  } else {
    _adjustAudioFrameToCurrentPlaybackTime();
  }
  if (playerState_.stoppedEnqueuingVideo && !_videoBufferLengthIsGreaterThan(playerAsset_->minBufferTime())) {
    OV_LOG(kOVAdLogLevelVerbose, kResumeVideoFormat, description().c_str(),
           playerState_.latestEnqueuedVideoPts.seconds(), clock_->currentTime().seconds());
    _startVideo();
    playerState_.stoppedEnqueuingVideo = false;
  }
  if (!audioEngine_) return;
  if (!playerState_.firstAudioFrameEnqueued) {
    audioEngine_->resumeEnqueuingData();
  } else if (playerState_.stoppedEnqueuingAudio &&
             !_audioBufferLengthIsGreaterThan(playerAsset_->minBufferTime())) {
    OV_LOG(kOVAdLogLevelVerbose, kResumeAudioFormat, description().c_str());
    playerState_.stoppedEnqueuingAudio = false;
    audioEngine_->resumeEnqueuingData();
  }
}

std::shared_ptr<QNVPlayerTimeObserver> QNVSynchronousPlayer::_addDurationTimerForAsset() {
  if (!playerAsset_) return nullptr;
  const MediaTime duration = playerAsset_->duration();
  if (duration.isIndefinite() || duration.isPositiveInfinity()) return nullptr;
  OV_LOG(kOVAdLogLevelDebug, kAddingDurationTimerFormat, description().c_str(), duration.seconds());
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  auto observer = clock_->createTimeObserverWithInterval(
      duration,
      [weakSelf](MediaTime time) {
        if (auto self = weakSelf.lock()) self->_playbackFinishedTimeForAsset(time);
      },
      true, true);
  clock_->addTimeObserver(observer);
  return observer;
}

void QNVSynchronousPlayer::_playbackFinishedTimeForAsset(const MediaTime& time) {
  if (playerState_.endTimeReached) return;
  OV_LOG(kOVAdLogLevelVerbose, kReachedEndFormat, description().c_str(), time.seconds());
  pause();
  // An item that failed on the way (and said so) did not play to its end.
  if (_itemHasFailed()) {
    playerState_.endTimeReached = true;
    playerError_ = playerAsset_->error();
    _updateStatus(kQNVPlayerStatusFailed);
    publishReadableState();
    return;
  }
  platform::NotificationCenter::defaultCenter().post(kAVPlayerItemDidPlayToEndTimeNotification, itemIdentity());
  playerState_.endTimeReached = true;
}

std::shared_ptr<QNVPlayerTimeObserver> QNVSynchronousPlayer::_addSampleBufferFlushTimerWithCompletionHandler(
    CompletionHandler handler) {
  flushCompletionHandler_ = std::move(handler);
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  auto observer = clock_->createTimeObserverWithInterval(
      kFlushObserverInterval,
      [weakSelf](MediaTime) {
        if (auto self = weakSelf.lock()) self->_flushSampleBuffersDuringFrameSeek();
      },
      false, false);
  clock_->addTimeObserver(observer);
  return observer;
}

// The handler answered is the newest frame seek's, kept by the player.
void QNVSynchronousPlayer::_flushSampleBuffersDuringFrameSeek() {
  const bool flushed = layer_->flushDisplayReadySampleBuffers();
  if (flushed && playerState_.latestEnqueuedVideoPts < playerState_.lastStartingTime && playerAsset_ &&
      playerAsset_->trackHasMoreFrames(kQNVVideoTrack)) {
    _videoLayerEnqueueFrameCallback();
    return;
  }
  if (playerState_.sampleBufferFlushTimerObserver) clock_->suspendTimeObserver(playerState_.sampleBufferFlushTimerObserver);
  if (flushCompletionHandler_) std::exchange(flushCompletionHandler_, nullptr)(flushed);
}

std::shared_ptr<QNVPlayerTimeObserver> QNVSynchronousPlayer::_addStallTimer() {
  std::weak_ptr<QNVSynchronousPlayer> weakSelf = weak_from_this();
  auto observer = clock_->createTimeObserverWithInterval(
      kStallCheckInterval,
      [weakSelf](MediaTime) {
        if (auto self = weakSelf.lock()) self->_manageStallStateWithDidStartPlaying(true);
      },
      false, false);
  clock_->addTimeObserver(observer);
  return observer;
}

}  // namespace plexora

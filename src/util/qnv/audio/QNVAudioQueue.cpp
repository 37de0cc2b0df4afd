#include "util/qnv/audio/QNVAudioQueue.h"

#include <cinttypes>
#include <cstdio>
#include <numeric>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kLevelMeteringNotRemoved = "Level metering not removed.";
constexpr const char* kDeallocFormat = "%s Deallocing QNVAudioQueue";
constexpr const char* kIgnoringPlayFormat = "%s ignoring play since queue is not in the correct state";
constexpr const char* kAbortingPlayFormat = "%s aborting play as startQueue failed";
constexpr const char* kStartFillingFormat = "%s start filling queues with data";
constexpr const char* kPausingFormat =
    "%s pausing audio queue. frames enqueued: %" PRIu64 " buffers returned: %" PRIu64 " readDataCalls: %" PRIu64;
constexpr const char* kInvalidatingFormat =
    "%s invalidating audio queue. frames enqueued: %" PRIu64 " buffers returned: %" PRIu64 " readDataCalls: %" PRIu64;
constexpr const char* kStopLoadingFormat = "%s Stop loading data called";
constexpr const char* kAudioTimeErrorFormat = "%s error getting audio time: %d";
constexpr const char* kDiscontinuityFormat = "%s found discontinuity in audio queue";
constexpr const char* kPacketDurationFormat = "%s frame has a packet duration of %fs";
constexpr const char* kBufferTooSmallFormat = "Buffer size of %u is too small. Using minimum buffer size of %u.";
constexpr const char* kBufferTooLargeFormat = "Buffer size of %u is too large. Using maximum buffer size of %u.";
constexpr const char* kBufferDurationFormat = "%s buffer duration: %f buffer size: %u packet count: %u";
constexpr const char* kCreatingFormat = "%s creating audio queue. audio category: %s";
constexpr const char* kNewQueueFailedFormat = "%s new Audio Queue creation failed with status: %d";
constexpr const char* kCreatedBufferFormat = "%s Created Buffer[%ld] %p";
constexpr const char* kQueueFailedFormat = "%s Audio Queue creation failed with status: %d";
constexpr const char* kQueueCreatedFormat = "%s Audio Queue created";
constexpr const char* kCallingStartFormat = "%s calling audio queue start. state=%d";
constexpr const char* kStartFailedFormat = "%s AudioQueueStart failed with status: %d";
constexpr const char* kVolumeParameterFailedFormat = "%s AudioQueueSetParameter of volume parameter failed with status: %d";
constexpr const char* kNoFreeBuffersFormat = "%s no free buffers. active index: %d";
constexpr const char* kUnexpectedAttributesFormat =
    "%s buffer does not have the expected attributes set -- moving to error state";
constexpr const char* kBufferNotEmptyFormat = "%s : A buffer should be empty before attempting to fill";
constexpr const char* kEnqueueingFormat =
    "%s going to enqueue buffer for index %d. packet count: %u. bufferSize: %u startTime:%f";
constexpr const char* kEnqueueFailedFormat = "%s EnqueueBuffer failed with status: %d";
constexpr const char* kRanOutFormat = "%s ran out of data. active index: %d";
constexpr const char* kEmptyAnswersFormat = "%s put-data callback gave no packets %d times; waiting for the next turn";
constexpr const char* kBufferAvailableFormat = "%s buffer available at index: %d";
constexpr const char* kUnexpectedBuffer = "Received unexpected buffer";
constexpr const char* kSettingStopFormat = "%s Setting audio queue state to stop";
constexpr const char* kSettingFailureFormat = "%s Setting audio queue state to failure on error: %d";
constexpr const char* kRampTimeFailedFormat = "AudioQueueSetParameter returned %d when setting the volume ramp time.";
constexpr const char* kVolumeFailedFormat = "AudioQueueSetParameter returned %d when setting the volume.";
constexpr const char* kAlreadyMeteringFormat = "%s already enabled level metering";
constexpr const char* kMeteringFailedFormat = "%s error setting property enableLevelMetering: %d";
constexpr const char* kAudioCategory = "playback";
constexpr const char* kStatusKey = "status";
constexpr const char* kConverterErrorKey = "err";

constexpr double kBufferSeconds = 0.3;
constexpr uint32_t kMinBufferSize = 1024;
constexpr uint32_t kMaxBufferSize = 0x40000;
constexpr int64_t kCapacityMismatchStatus = 111;
constexpr double kMinimumPlayedSeconds = 0.005;
// A put-data callback that keeps answering "more" without giving packets
// would spin the fill loop for ever; after this many it waits for the next
// returned buffer or resumeEnqueuingData.
constexpr int kMaxEmptyAnswers = 64;

}  // namespace

std::shared_ptr<QNVAudioQueue> QNVAudioQueue::create() { return std::shared_ptr<QNVAudioQueue>(new QNVAudioQueue()); }

QNVAudioQueue::QNVAudioQueue() : internalQueue_(QNVMediaStateQueue()) {}

QNVAudioQueue::~QNVAudioQueue() {
  if (levelsEnabled_) OV_LOG(kOVAdLogLevelWarn, "%s", kLevelMeteringNotRemoved);
  OV_LOG(kOVAdLogLevelVerbose, kDeallocFormat, description().c_str());
}

std::string QNVAudioQueue::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<QNVAudioQueue: %p>", static_cast<const void*>(this));
  return text;
}

void QNVAudioQueue::setAudioStreamBasicDescription(const platform::AudioStreamBasicDescription& description,
                                                   const platform::Value& /*extraParameters*/,
                                                   PutDataCallback putDataCallback, ErrorCallback errorCallback,
                                                   uint32_t sampleFrameSize) {
  asbd_ = description;
  putDataCallback_ = std::move(putDataCallback);
  errorCallback_ = std::move(errorCallback);
  sampleFrameSize_ = sampleFrameSize;
  hasNoMoreFramesToEnqueue_ = false;
  if (state_ == kNoQueue) _createAudioQueue();
}

void QNVAudioQueue::fail(int64_t code, const char* key, int64_t value) {
  state_ = kFailed;
  if (errorCallback_) errorCallback_(platform::Error(kQNVAudioQueueErrorDomain, code, {{key, platform::Value(value)}}));
}

AQBufferParameters QNVAudioQueue::_calculateBufferSizeAndPacketCountWithAsbd(
    const platform::AudioStreamBasicDescription& description, uint32_t frameSize) {
  double duration = description.sampleRate > 0 ? description.framesPerPacket / description.sampleRate : kBufferSeconds;
  if (duration > kBufferSeconds) {
    OV_LOG(kOVAdLogLevelDebug, kPacketDurationFormat, "QNVAudioQueue", duration);
    duration = kBufferSeconds;
  }
  // A zero packet duration would make the packet count unbounded.
  const auto packets = duration > 0 ? static_cast<uint32_t>(kBufferSeconds / duration) : 1U;
  AQBufferParameters parameters;
  parameters.bufferSize = frameSize * packets;
  if (packets <= 2) {
    parameters.bufferSize *= 2;
    parameters.packetCount = packets * 2;
  } else {
    parameters.packetCount = static_cast<uint32_t>(packets * 1.5);
  }
  if (parameters.bufferSize < kMinBufferSize) {
    OV_LOG(kOVAdLogLevelDebug, kBufferTooSmallFormat, parameters.bufferSize, kMinBufferSize);
    parameters.bufferSize = kMinBufferSize;
  } else if (parameters.bufferSize > kMaxBufferSize) {
    OV_LOG(kOVAdLogLevelDebug, kBufferTooLargeFormat, parameters.bufferSize, kMaxBufferSize);
    parameters.bufferSize = kMaxBufferSize;
  }
  OV_LOG(kOVAdLogLevelDebug, kBufferDurationFormat, "QNVAudioQueue", duration * parameters.packetCount,
         parameters.bufferSize, parameters.packetCount);
  return parameters;
}

bool QNVAudioQueue::_createAudioQueue() {
  OV_LOG(kOVAdLogLevelDebug, kCreatingFormat, description().c_str(), kAudioCategory);
  state_ = kCreated;
  std::weak_ptr<QNVAudioQueue> weakSelf = weak_from_this();
  // Each callback moves to the media-state queue holding the object until it
  // has run; the work there ignores a queue that is no longer current.
  platform::AudioOutputQueue::Callbacks callbacks;
  callbacks.bufferReturned = [weakSelf](platform::AudioOutputQueue& queue,
                                        const std::shared_ptr<platform::AudioQueueBuffer>& buffer) {
    if (auto self = weakSelf.lock()) {
      self->internalQueue_->async([self, queue = &queue, buffer] { self->audioQueueOutputCallback(queue, buffer); });
    }
  };
  callbacks.isRunningChanged = [weakSelf](platform::AudioOutputQueue& queue) {
    if (auto self = weakSelf.lock()) {
      self->internalQueue_->async([self, queue = &queue] { self->audioQueueIsRunningCallback(queue); });
    }
  };
  callbacks.converterError = [weakSelf](platform::AudioOutputQueue& queue) {
    if (auto self = weakSelf.lock()) {
      self->internalQueue_->async([self, queue = &queue] { self->audioQueueErrorCallback(queue); });
    }
  };
  const int32_t status = platform::AudioOutputQueue::newOutput(asbd_, std::move(callbacks), audioQueue_);
  if (status != platform::kAudioQueueOK) {
    audioQueue_.reset();
    fail(kQNVAudioQueueErrorCreate, kStatusKey, status);
    OV_LOG(kOVAdLogLevelDebug, kNewQueueFailedFormat, description().c_str(), status);
    return false;
  }
  bufferParams_ = _calculateBufferSizeAndPacketCountWithAsbd(asbd_, sampleFrameSize_);
  for (size_t slot = 0; slot < kBufferCount; ++slot) {
    const int32_t allocated = audioQueue_->allocateBufferWithPacketDescriptions(
        bufferParams_.bufferSize, bufferParams_.packetCount, audioQueueBuffer_[slot].bufferRef);
    if (allocated != platform::kAudioQueueOK) {
      fail(kQNVAudioQueueErrorCreate, kStatusKey, allocated);
      OV_LOG(kOVAdLogLevelDebug, kQueueFailedFormat, description().c_str(), allocated);
      return false;
    }
    OV_LOG(kOVAdLogLevelVerbose, kCreatedBufferFormat, description().c_str(), static_cast<long>(slot),
           static_cast<void*>(audioQueueBuffer_[slot].bufferRef->audioData.data()));
  }
  OV_LOG(kOVAdLogLevelVerbose, kQueueCreatedFormat, description().c_str());
  return true;
}

void QNVAudioQueue::prepareToPlay() { _startQueue(); }

void QNVAudioQueue::playWithStartTime(const platform::MediaTime& /*startTime*/) {
  if (state_ == kNoQueue || state_ == kFailed) {
    OV_LOG(kOVAdLogLevelDebug, kIgnoringPlayFormat, description().c_str());
    return;
  }
  if (_startQueue() != platform::kAudioQueueOK) {
    OV_LOG(kOVAdLogLevelDebug, kAbortingPlayFormat, description().c_str());
    return;
  }
  OV_LOG(kOVAdLogLevelDebug, kStartFillingFormat, description().c_str());
  framesEnqueued_ = 0;
  buffersReturned_ = 0;
  enqueueDataCalls_ = 0;
  _readDataIntoBuffer();
}

void QNVAudioQueue::pause() {
  // A failed queue must not look paused: play would then revive it.
  if (state_ == kNoQueue || state_ == kFailed) return;
  state_ = kPaused;
  audioQueue_->pause();
  OV_LOG(kOVAdLogLevelDebug, kPausingFormat, description().c_str(), framesEnqueued_, buffersReturned_,
         enqueueDataCalls_);
}

void QNVAudioQueue::stop() { _stopAudio(); }

void QNVAudioQueue::reset() {
  if (audioQueue_) audioQueue_->reset();
  hasNoMoreFramesToEnqueue_ = false;
}

void QNVAudioQueue::invalidate() {
  if (state_ == kRunning) {
    OV_LOG(kOVAdLogLevelDebug, kInvalidatingFormat, description().c_str(), framesEnqueued_, buffersReturned_,
           enqueueDataCalls_);
  }
  hasNoMoreFramesToEnqueue_ = false;
  _removeAudioQueue();
}

void QNVAudioQueue::stopLoadingData() {
  OV_LOG(kOVAdLogLevelDebug, kStopLoadingFormat, description().c_str());
  hasNoMoreFramesToEnqueue_ = true;
  if (audioQueue_) audioQueue_->flush();
}

void QNVAudioQueue::resumeEnqueuingData() { _readDataIntoBuffer(); }

platform::MediaTime QNVAudioQueue::getCurrentTime() {
  double sampleTime = 0;
  bool discontinuity = false;
  const int32_t status =
      audioQueue_ ? audioQueue_->getCurrentTime(sampleTime, discontinuity) : platform::kAudioQueueErrDisposed;
  if (status != platform::kAudioQueueOK) {
    OV_LOG(kOVAdLogLevelVerbose, kAudioTimeErrorFormat, description().c_str(), status);
    return platform::MediaTime::zero();
  }
  if (discontinuity) OV_LOG(kOVAdLogLevelDebug, kDiscontinuityFormat, description().c_str());
  return platform::MediaTime::make(static_cast<int32_t>(sampleTime), static_cast<int32_t>(asbd_.sampleRate));
}

int32_t QNVAudioQueue::_startQueue() {
  OV_LOG(kOVAdLogLevelDebug, kCallingStartFormat, description().c_str(), static_cast<int>(state_));
  if (state_ == kNoQueue || state_ == kRunning) return platform::kAudioQueueOK;
  int32_t status = platform::kAudioQueueOK;
  if (state_ == kPaused) {
    status = audioQueue_->start(std::nullopt);
  } else {
    zeroTimestamp_ = {0, QNVAudioTimeStamp::kSampleTimeValid};
    status = audioQueue_->start(zeroTimestamp_.sampleTime);
  }
  state_ = kRunning;
  if (status != platform::kAudioQueueOK) {
    fail(kQNVAudioQueueErrorStart, kStatusKey, status);
    OV_LOG(kOVAdLogLevelDebug, kStartFailedFormat, description().c_str(), status);
    return status;
  }
  if (pendingVolume_ && pendingVolumeRampTime_ > 0) {
    // Start silent; the running notification ramps to the pending volume.
    const int32_t muted = audioQueue_->setParameter(platform::AudioQueueParameter::kVolume, 0.0f);
    if (muted != platform::kAudioQueueOK) {
      OV_LOG(kOVAdLogLevelDebug, kVolumeParameterFailedFormat, description().c_str(), muted);
    }
  }
  if (deferAudioLevelSetup_) {
    deferAudioLevelSetup_ = false;
    enableLevelMeteringWithCallback(audioLevelCallback_);
  }
  return platform::kAudioQueueOK;
}

void QNVAudioQueue::_readDataIntoBuffer() {
  QNV_SOFT_ASSERT(internalQueue_->isCurrent(), "%s runs on the media-state queue", __func__);
  ++enqueueDataCalls_;
  if (hasNoMoreFramesToEnqueue_ || (state_ != kCreated && state_ != kRunning && state_ != kPaused)) return;
  const double played = getCurrentTime().seconds();
  if (played < kMinimumPlayedSeconds) {
    if (state_ == kRunning) _fillOnceTheQueueHasPlayed(kMinimumPlayedSeconds - played);
    return;
  }
  int emptyAnswers = 0;
  for (;;) {
    AQBufferState& slot = audioQueueBuffer_[static_cast<size_t>(activeBufferIndex_)];
    if (slot.enqueued) {
      OV_LOG(kOVAdLogLevelVerbose, kNoFreeBuffersFormat, description().c_str(), activeBufferIndex_);
      return;
    }
    platform::AudioQueueBuffer& buffer = *slot.bufferRef;
    if (buffer.audioDataBytesCapacity != bufferParams_.bufferSize ||
        buffer.packetDescriptionCapacity != bufferParams_.packetCount) {
      OV_LOG(kOVAdLogLevelDebug, kUnexpectedAttributesFormat, description().c_str());
      fail(kQNVAudioQueueErrorEnqueue, kStatusKey, kCapacityMismatchStatus);
      return;
    }
    QNV_SOFT_ASSERT(buffer.packetDescriptionCount == 0, kBufferNotEmptyFormat, description().c_str());
    bool firstPacket = false;
    const bool more = putDataCallback_ && putDataCallback_(buffer, &slot.timestamp, nullptr, &firstPacket);
    if (buffer.packetDescriptionCount == 0) {
      if (!more) {
        OV_LOG(kOVAdLogLevelVerbose, kRanOutFormat, description().c_str(), activeBufferIndex_);
        return;
      }
      if (++emptyAnswers >= kMaxEmptyAnswers) {
        OV_LOG(kOVAdLogLevelDebug, kEmptyAnswersFormat, description().c_str(), emptyAnswers);
        return;
      }
      continue;
    }
    emptyAnswers = 0;
    slot.enqueued = true;
    OV_LOG(kOVAdLogLevelVerbose, kEnqueueingFormat, description().c_str(), activeBufferIndex_,
           buffer.packetDescriptionCount, buffer.audioDataByteSize, slot.timestamp.sampleTime / asbd_.sampleRate);
    uint32_t trim = 0;
    if (firstPacket) {
      audioQueue_->flush();
      trim = kFirstPacketTrimFrames;
    }
    const int32_t status = audioQueue_->enqueueBufferWithParameters(slot.bufferRef, trim, slot.timestamp.sampleTime);
    if (status != platform::kAudioQueueOK) {
      slot.enqueued = false;
      fail(kQNVAudioQueueErrorEnqueue, kStatusKey, status);
      OV_LOG(kOVAdLogLevelDebug, kEnqueueFailedFormat, description().c_str(), status);
      return;
    }
    framesEnqueued_ += buffer.packetDescriptionCount;
    activeBufferIndex_ = (activeBufferIndex_ + 1) % static_cast<int32_t>(kBufferCount);
    if (!more) {
      OV_LOG(kOVAdLogLevelVerbose, kRanOutFormat, description().c_str(), activeBufferIndex_);
      return;
    }
  }
}

void QNVAudioQueue::_fillOnceTheQueueHasPlayed(double seconds) {
  if (fillRetryScheduled_) return;
  fillRetryScheduled_ = true;
  // One sample more, so that the queue's time, counted in whole samples, has
  // passed the threshold by then.
  const double delay = seconds + (asbd_.sampleRate > 0 ? 1.0 / asbd_.sampleRate : 0.0);
  internalQueue_->after(delay, [weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->fillRetryScheduled_ = false;
    self->_readDataIntoBuffer();
  });
}

void QNVAudioQueue::audioQueueOutputCallback(const platform::AudioOutputQueue* queue,
                                             const std::shared_ptr<platform::AudioQueueBuffer>& buffer) {
  ++buffersReturned_;
  if (queue != audioQueue_.get() || state_ == kNoQueue) return;
  for (size_t slot = 0; slot < kBufferCount; ++slot) {
    if (audioQueueBuffer_[slot].bufferRef != buffer) continue;
    OV_LOG(kOVAdLogLevelVerbose, kBufferAvailableFormat, description().c_str(), static_cast<int>(slot));
    buffer->audioDataByteSize = 0;
    buffer->packetDescriptionCount = 0;
    audioQueueBuffer_[slot].enqueued = false;
    _readDataIntoBuffer();
    return;
  }
  QNV_SOFT_ASSERT(false, "%s", kUnexpectedBuffer);
}

void QNVAudioQueue::audioQueueIsRunningCallback(const platform::AudioOutputQueue* queue) {
  if (queue != audioQueue_.get()) return;
  if (!audioQueue_->isRunning()) {
    if (state_ == kRunning) {
      OV_LOG(kOVAdLogLevelDebug, kSettingStopFormat, description().c_str());
      state_ = kStopped;
    }
  } else if (pendingVolume_) {
    setVolume(*pendingVolume_, pendingVolumeRampTime_);
  }
}

void QNVAudioQueue::audioQueueErrorCallback(const platform::AudioOutputQueue* queue) {
  if (queue != audioQueue_.get() || state_ != kRunning) return;
  const uint32_t error = audioQueue_->converterError();
  if (error == 0) return;
  OV_LOG(kOVAdLogLevelDebug, kSettingFailureFormat, description().c_str(), static_cast<int>(error));
  fail(kQNVAudioQueueErrorConverter, kConverterErrorKey, error);
}

void QNVAudioQueue::setVolume(float volume, float rampTime) {
  if (state_ == kNoQueue || !audioQueue_) {
    pendingVolume_ = volume;
    pendingVolumeRampTime_ = rampTime;
    return;
  }
  int32_t status = audioQueue_->setParameter(platform::AudioQueueParameter::kVolumeRampTime, rampTime);
  if (status != platform::kAudioQueueOK) OV_LOG(kOVAdLogLevelDebug, kRampTimeFailedFormat, status);
  status = audioQueue_->setParameter(platform::AudioQueueParameter::kVolume, volume);
  if (status != platform::kAudioQueueOK) OV_LOG(kOVAdLogLevelDebug, kVolumeFailedFormat, status);
  pendingVolume_.reset();
  pendingVolumeRampTime_ = 0.0f;
}

void QNVAudioQueue::enableLevelMeteringWithCallback(LevelCallback callback) {
  QNV_SOFT_ASSERT(internalQueue_->isCurrent(), "%s runs on the media-state queue", __func__);
  if (levelsEnabled_) {
    OV_LOG(kOVAdLogLevelWarn, kAlreadyMeteringFormat, description().c_str());
    return;
  }
  audioLevelCallback_ = std::move(callback);
  if (state_ != kRunning) {
    deferAudioLevelSetup_ = true;
    return;
  }
  const int32_t status = audioQueue_->setLevelMeteringEnabled(true);
  if (status != platform::kAudioQueueOK) {
    OV_LOG(kOVAdLogLevelDebug, kMeteringFailedFormat, description().c_str(), status);
    return;
  }
  levelsEnabled_ = true;
  levels_.assign(asbd_.channelsPerFrame, {});
}

void QNVAudioQueue::sendCurrentAudioLevelToCallback() {
  QNV_SOFT_ASSERT(internalQueue_->isCurrent(), "%s runs on the media-state queue", __func__);
  if (!audioLevelCallback_ || deferAudioLevelSetup_ || state_ != kRunning || asbd_.channelsPerFrame == 0) return;
  double level = 0;
  if (levelsEnabled_ && audioQueue_->currentLevelMeterDB(levels_) == platform::kAudioQueueOK && !levels_.empty()) {
    level = std::accumulate(levels_.begin(), levels_.end(), 0.0,
                            [](double sum, const auto& channel) { return sum + channel.averagePower; }) /
            static_cast<double>(levels_.size());
  }
  audioLevelCallback_(level);
}

void QNVAudioQueue::removeLevelMetering() {
  levels_.clear();
  levelsEnabled_ = false;
  deferAudioLevelSetup_ = false;
  audioLevelCallback_ = nullptr;
}

void QNVAudioQueue::_stopAudio() {
  QNV_SOFT_ASSERT(internalQueue_->isCurrent(), "%s runs on the media-state queue", __func__);
  if (state_ == kNoQueue || state_ == kFailed) return;
  audioQueue_->pause();
  audioQueue_->stop(false);
  state_ = kStopped;
}

void QNVAudioQueue::_removeAudioQueue() {
  QNV_SOFT_ASSERT(internalQueue_->isCurrent(), "%s runs on the media-state queue", __func__);
  if (state_ == kNoQueue) return;
  state_ = kNoQueue;
  if (audioQueue_) {
    audioQueue_->stop(true);
    for (AQBufferState& slot : audioQueueBuffer_) {
      if (slot.bufferRef) audioQueue_->freeBuffer(slot.bufferRef);
      slot.enqueued = false;
      slot.bufferRef.reset();
    }
    // No callback of the old queue reaches the owner after this.
    audioQueue_->dispose();
    audioQueue_.reset();
  }
  activeBufferIndex_ = 0;
}

}  // namespace plexora

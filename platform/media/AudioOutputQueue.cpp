#include "platform/media/AudioOutputQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

#include "platform/dispatch/Clock.h"

namespace plexora::platform {

namespace {

constexpr const char* kCallbackQueueLabel = "audio_output_queue";
constexpr double kAacSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kAacLowComplexity = 2;
constexpr float kSilenceDB = -120.0f;
// The record keeps the buffers that began most recently: an ad that loops for
// an hour would otherwise hold every packet it ever played. Far more than a
// whole ad's worth of buffers.
constexpr size_t kPlayedRecordLimit = 8192;

std::atomic<bool> recordsPlayed{false};

float toDB(double amplitude) {
  return amplitude > 0 ? std::max(kSilenceDB, static_cast<float>(20.0 * std::log10(amplitude))) : kSilenceDB;
}

}  // namespace

struct AudioOutputQueue::Impl {
  struct Enqueued {
    std::shared_ptr<AudioQueueBuffer> buffer;
    uint32_t trim;
    double start;
    double end;
    bool begun = false;
  };

  mutable std::mutex mutex;
  std::deque<Enqueued> enqueued;
  bool started = false;
  bool running = false;
  bool paused = false;
  bool stopping = false;
  bool disposed = false;
  double anchorSample = 0;
  double anchorHost = 0;
  // The end of the last buffer enqueued since the last fresh start or
  // reset; none before the first.
  std::optional<double> lastEnd;
  uint32_t converterError = 0;
  bool metering = false;
  std::vector<AudioQueueLevelMeterState> levels;
  std::vector<PlayedBuffer> played;
  std::vector<VolumeChange> volumeChanges;
  std::shared_ptr<Clock> wakeupClock;
  Clock::WakeupId wakeup = 0;

  std::mutex decodeMutex;  // the decoder, used on the callback queue
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;

  // Held while a callback runs, so none runs once dispose() has taken it;
  // recursive so that a callback may dispose of its own queue.
  std::recursive_mutex callbackMutex;
  Callbacks callbacks;
  DispatchQueuePtr callbackQueue = DispatchQueue::createSerial(kCallbackQueueLabel);

  ~Impl() {
    avcodec_free_context(&decoder);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }

  double sampleTimeLocked(double host, double rate) const {
    if (!running || paused) return anchorSample;
    return anchorSample + (host - anchorHost) * rate;
  }
};

int32_t AudioOutputQueue::newOutput(const AudioStreamBasicDescription& description, Callbacks callbacks,
                                    std::shared_ptr<AudioOutputQueue>& out) {
  static std::once_flag quietLogs;
  std::call_once(quietLogs, [] { av_log_set_level(AV_LOG_QUIET); });
  if (!(description.sampleRate > 0) || description.framesPerPacket == 0 || description.channelsPerFrame == 0) {
    return kAudioQueueErrInvalidParameter;
  }
  // HE-AAC streams are described at their output rate, twice the core's.
  const bool highEfficiency =
      description.formatID == kAudioFormatMPEG4AAC_HE || description.formatID == kAudioFormatMPEG4AAC_HE_V2;
  const bool aac = description.formatID == kAudioFormatMPEG4AAC || highEfficiency;
  if (!aac && description.formatID != kAudioFormatOpus) return kAudioQueueErrUnsupportedFormat;
  auto impl = std::make_unique<Impl>();
  const AVCodec* codec = avcodec_find_decoder(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_OPUS);
  if (codec == nullptr) return kAudioQueueErrUnsupportedFormat;
  impl->decoder = avcodec_alloc_context3(codec);
  impl->packet = av_packet_alloc();
  impl->frame = av_frame_alloc();
  if (impl->decoder == nullptr || impl->packet == nullptr || impl->frame == nullptr) return kAudioQueueErrInvalidParameter;
  impl->decoder->sample_rate = static_cast<int>(description.sampleRate);
  av_channel_layout_default(&impl->decoder->ch_layout, static_cast<int>(description.channelsPerFrame));
  if (aac) {
    // The AudioSpecificConfig the raw packets need: object type, rate index,
    // channel configuration. HE-AAC is configured as its AAC core, at half
    // the rate: the decoder finds the SBR (and PS) data in the packets and
    // doubles the rate (and the channels of PS) itself.
    const double coreRate = highEfficiency ? description.sampleRate / 2 : description.sampleRate;
    const auto* rate = std::find(std::begin(kAacSampleRates), std::end(kAacSampleRates), coreRate);
    if (rate == std::end(kAacSampleRates) || description.channelsPerFrame > 7) return kAudioQueueErrUnsupportedFormat;
    const uint32_t objectType = description.formatFlags != 0 ? description.formatFlags : kAacLowComplexity;
    const uint32_t coreChannels =
        description.formatID == kAudioFormatMPEG4AAC_HE_V2 ? 1 : description.channelsPerFrame;
    const auto config = static_cast<uint16_t>((objectType << 11) | (static_cast<uint32_t>(rate - kAacSampleRates) << 7) |
                                              (coreChannels << 3));
    impl->decoder->extradata = static_cast<uint8_t*>(av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
    if (impl->decoder->extradata == nullptr) return kAudioQueueErrInvalidParameter;
    impl->decoder->extradata[0] = static_cast<uint8_t>(config >> 8);
    impl->decoder->extradata[1] = static_cast<uint8_t>(config);
    impl->decoder->extradata_size = 2;
  }
  if (avcodec_open2(impl->decoder, codec, nullptr) < 0) return kAudioQueueErrUnsupportedFormat;
  impl->callbacks = std::move(callbacks);
  out.reset(new AudioOutputQueue(description, std::move(impl)));
  return kAudioQueueOK;
}

AudioOutputQueue::AudioOutputQueue(const AudioStreamBasicDescription& description, std::unique_ptr<Impl> impl)
    : description_(description), impl_(std::move(impl)) {}

AudioOutputQueue::~AudioOutputQueue() { dispose(); }

int32_t AudioOutputQueue::allocateBufferWithPacketDescriptions(uint32_t byteCapacity, uint32_t packetDescriptionCapacity,
                                                               std::shared_ptr<AudioQueueBuffer>& out) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  if (byteCapacity == 0) return kAudioQueueErrInvalidParameter;
  auto buffer = std::make_shared<AudioQueueBuffer>();
  buffer->audioDataBytesCapacity = byteCapacity;
  buffer->audioData.resize(byteCapacity);
  buffer->packetDescriptionCapacity = packetDescriptionCapacity;
  buffer->packetDescriptions.resize(packetDescriptionCapacity);
  out = std::move(buffer);
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::freeBuffer(const std::shared_ptr<AudioQueueBuffer>& buffer) {
  std::lock_guard lock(impl_->mutex);
  const bool held = std::any_of(impl_->enqueued.begin(), impl_->enqueued.end(),
                                [&](const Impl::Enqueued& entry) { return entry.buffer == buffer; });
  return held || !buffer ? kAudioQueueErrInvalidBuffer : kAudioQueueOK;
}

int32_t AudioOutputQueue::enqueueBufferWithParameters(const std::shared_ptr<AudioQueueBuffer>& buffer,
                                                      uint32_t trimFramesAtStart, std::optional<double> startSampleTime) {
  if (!buffer) return kAudioQueueErrInvalidBuffer;
  if (buffer->packetDescriptionCount == 0 || buffer->audioDataByteSize == 0) return kAudioQueueErrBufferEmpty;
  // Every packet must lie inside the bytes the buffer holds.
  if (buffer->packetDescriptionCount > buffer->packetDescriptions.size() ||
      buffer->audioDataByteSize > buffer->audioData.size()) {
    return kAudioQueueErrInvalidBuffer;
  }
  uint64_t frames = 0;
  for (uint32_t i = 0; i < buffer->packetDescriptionCount; ++i) {
    const AudioStreamPacketDescription& packet = buffer->packetDescriptions[i];
    if (packet.startOffset < 0 ||
        static_cast<uint64_t>(packet.startOffset) + packet.dataByteSize > buffer->audioDataByteSize) {
      return kAudioQueueErrInvalidBuffer;
    }
    frames += packet.variableFramesInPacket != 0 ? packet.variableFramesInPacket : description_.framesPerPacket;
  }
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  // A start time the queue has already passed leaves the buffer where its
  // time puts it (its passed part is late, never heard) rather than moving
  // it and every buffer after it later, out of step with the times asked.
  const double now = impl_->sampleTimeLocked(Clock::current()->monotonicTime(), description_.sampleRate);
  const double start = startSampleTime ? std::max(*startSampleTime, impl_->lastEnd.value_or(*startSampleTime))
                                       : impl_->lastEnd.value_or(now);
  const double end = start + static_cast<double>(frames - std::min<uint64_t>(frames, trimFramesAtStart));
  impl_->lastEnd = end;
  impl_->enqueued.push_back({buffer, trimFramesAtStart, start, end, false});
  scheduleLocked();
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::start(std::optional<double> startSampleTime) {
  bool becameRunning = false;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErrDisposed;
    const double host = Clock::current()->monotonicTime();
    if (startSampleTime || !impl_->started) {
      impl_->anchorSample = startSampleTime.value_or(0.0);
      impl_->lastEnd.reset();
    }
    impl_->anchorHost = host;
    impl_->started = true;
    impl_->paused = false;
    impl_->stopping = false;
    becameRunning = !impl_->running;
    impl_->running = true;
    scheduleLocked();
  }
  if (becameRunning) {
    impl_->callbackQueue->async([weakSelf = weak_from_this()] {
      auto self = weakSelf.lock();
      if (!self) return;
      self->withCallbacks([&](const Callbacks& callbacks) {
        if (callbacks.isRunningChanged) callbacks.isRunningChanged(*self);
      });
    });
  }
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::pause() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  impl_->anchorSample = impl_->sampleTimeLocked(Clock::current()->monotonicTime(), description_.sampleRate);
  impl_->paused = true;
  scheduleLocked();
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::stop(bool immediate) {
  if (immediate) {
    reset();
    std::lock_guard lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErrDisposed;
    impl_->stopping = true;
  } else {
    std::lock_guard lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErrDisposed;
    impl_->stopping = true;
  }
  // The queue stops once what is left has played; consumeDue tells.
  impl_->callbackQueue->async([weakSelf = weak_from_this()] {
    if (auto self = weakSelf.lock()) self->consumeDue();
  });
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::reset() {
  std::deque<Impl::Enqueued> returned;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->disposed) return kAudioQueueErrDisposed;
    returned.swap(impl_->enqueued);
    impl_->lastEnd.reset();
    scheduleLocked();
  }
  for (auto& entry : returned) {
    impl_->callbackQueue->async([weakSelf = weak_from_this(), buffer = entry.buffer] {
      auto self = weakSelf.lock();
      if (!self) return;
      self->withCallbacks([&](const Callbacks& callbacks) {
        if (callbacks.bufferReturned) callbacks.bufferReturned(*self, buffer);
      });
    });
  }
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::flush() {
  std::lock_guard lock(impl_->mutex);
  return impl_->disposed ? kAudioQueueErrDisposed : kAudioQueueOK;
}

void AudioOutputQueue::dispose() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->disposed = true;
    impl_->enqueued.clear();
    if (impl_->wakeupClock) impl_->wakeupClock->cancelWakeup(impl_->wakeup);
    impl_->wakeupClock.reset();
  }
  std::lock_guard lock(impl_->callbackMutex);
  impl_->callbacks = {};
}

int32_t AudioOutputQueue::getCurrentTime(double& sampleTime, bool& discontinuity) const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  if (!impl_->started) return kAudioQueueErrInvalidRunState;
  sampleTime = impl_->sampleTimeLocked(Clock::current()->monotonicTime(), description_.sampleRate);
  discontinuity = false;
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::setParameter(AudioQueueParameter parameter, float value) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  const double now = impl_->sampleTimeLocked(Clock::current()->monotonicTime(), description_.sampleRate);
  if (parameter == AudioQueueParameter::kVolumeRampTime) {
    impl_->volumeChanges.push_back({now, impl_->volumeChanges.empty() ? 1.0f : impl_->volumeChanges.back().volume,
                                    value});
  } else {
    const float ramp = impl_->volumeChanges.empty() ? 0.0f : impl_->volumeChanges.back().rampTime;
    impl_->volumeChanges.push_back({now, value, ramp});
  }
  return kAudioQueueOK;
}

bool AudioOutputQueue::isRunning() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->running;
}

uint32_t AudioOutputQueue::converterError() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->converterError;
}

int32_t AudioOutputQueue::setLevelMeteringEnabled(bool enabled) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  impl_->metering = enabled;
  return kAudioQueueOK;
}

int32_t AudioOutputQueue::currentLevelMeterDB(std::vector<AudioQueueLevelMeterState>& levels) const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->disposed) return kAudioQueueErrDisposed;
  if (!impl_->metering) return kAudioQueueErrInvalidRunState;
  levels = impl_->levels;
  levels.resize(description_.channelsPerFrame, {kSilenceDB, kSilenceDB});
  return kAudioQueueOK;
}

void AudioOutputQueue::setRecordsPlayedBuffers(bool records) { recordsPlayed.store(records, std::memory_order_relaxed); }

bool AudioOutputQueue::recordsPlayedBuffers() { return recordsPlayed.load(std::memory_order_relaxed); }

std::vector<AudioOutputQueue::PlayedBuffer> AudioOutputQueue::playedBuffers() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->played;
}

std::vector<AudioOutputQueue::VolumeChange> AudioOutputQueue::volumeChanges() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->volumeChanges;
}

void AudioOutputQueue::scheduleLocked() {
  if (impl_->wakeupClock) impl_->wakeupClock->cancelWakeup(impl_->wakeup);
  impl_->wakeupClock.reset();
  if (impl_->disposed || !impl_->running || impl_->paused || impl_->enqueued.empty()) return;
  std::shared_ptr<Clock> clock = Clock::current();
  // The next event: the front buffer's end, or the start of the first
  // buffer that has not begun, whichever comes first.
  double nextSample = impl_->enqueued.front().end;
  const auto waiting = std::find_if(impl_->enqueued.begin(), impl_->enqueued.end(),
                                    [](const Impl::Enqueued& entry) { return !entry.begun; });
  if (waiting != impl_->enqueued.end()) nextSample = std::min(nextSample, waiting->start);
  const double deadline = impl_->anchorHost + (nextSample - impl_->anchorSample) / description_.sampleRate;
  impl_->wakeupClock = clock;
  impl_->wakeup = clock->scheduleWakeup(deadline, [weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->impl_->callbackQueue->async([weakSelf] {
      if (auto self = weakSelf.lock()) self->consumeDue();
    });
  });
}

void AudioOutputQueue::consumeDue() {
  std::vector<PlayedBuffer> begun;
  std::vector<std::shared_ptr<AudioQueueBuffer>> finished;
  bool stopped = false;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->disposed) return;
    const double now = impl_->sampleTimeLocked(Clock::current()->monotonicTime(), description_.sampleRate);
    // A small tolerance: the clock's seconds and the sample count need not
    // round the same way.
    const double reached = now + 1e-6;
    // The packets are copied out here: once the buffer is returned its
    // owner fills it again.
    for (Impl::Enqueued& entry : impl_->enqueued) {
      if (entry.begun) continue;
      if (entry.start > reached) break;
      entry.begun = true;
      PlayedBuffer played;
      played.startSampleTime = entry.start;
      played.packetCount = entry.buffer->packetDescriptionCount;
      played.trimmedFrames = entry.trim;
      for (uint32_t i = 0; i < entry.buffer->packetDescriptionCount; ++i) {
        const AudioStreamPacketDescription& packet = entry.buffer->packetDescriptions[i];
        const uint8_t* bytes = entry.buffer->audioData.data() + packet.startOffset;
        played.packets.emplace_back(bytes, bytes + packet.dataByteSize);
      }
      begun.push_back(std::move(played));
    }
    while (!impl_->enqueued.empty() && impl_->enqueued.front().end <= reached) {
      finished.push_back(std::move(impl_->enqueued.front().buffer));
      impl_->enqueued.pop_front();
    }
    if (impl_->stopping && impl_->enqueued.empty() && impl_->running) {
      impl_->anchorSample = now;
      impl_->running = false;
      stopped = true;
    }
    scheduleLocked();
  }
  bool reportError = false;
  for (PlayedBuffer& played : begun) reportError = decodeAndRecord(std::move(played)) || reportError;
  withCallbacks([&](const Callbacks& callbacks) {
    if (reportError && callbacks.converterError) callbacks.converterError(*this);
    if (callbacks.bufferReturned) {
      for (const auto& buffer : finished) callbacks.bufferReturned(*this, buffer);
    }
    if (stopped && callbacks.isRunningChanged) callbacks.isRunningChanged(*this);
  });
}

bool AudioOutputQueue::decodeAndRecord(PlayedBuffer played) {
  bool failed = false;
  std::vector<double> sumSquares(description_.channelsPerFrame, 0.0);
  std::vector<double> peaks(description_.channelsPerFrame, 0.0);
  uint64_t decoded = 0;
  {
    std::lock_guard lock(impl_->decodeMutex);
    for (const std::vector<uint8_t>& bytes : played.packets) {
      if (av_new_packet(impl_->packet, static_cast<int>(bytes.size())) < 0) {
        failed = true;
        continue;
      }
      std::copy(bytes.begin(), bytes.end(), impl_->packet->data);
      const int sent = avcodec_send_packet(impl_->decoder, impl_->packet);
      av_packet_unref(impl_->packet);
      if (sent < 0) {
        failed = true;
        continue;
      }
      while (avcodec_receive_frame(impl_->decoder, impl_->frame) == 0) {
        decoded += static_cast<uint64_t>(impl_->frame->nb_samples);
        const int channels = std::min<int>(impl_->frame->ch_layout.nb_channels,
                                           static_cast<int>(description_.channelsPerFrame));
        if (impl_->frame->format == AV_SAMPLE_FMT_FLTP) {
          for (int channel = 0; channel < channels; ++channel) {
            const auto* samples = reinterpret_cast<const float*>(impl_->frame->extended_data[channel]);
            for (int s = 0; s < impl_->frame->nb_samples; ++s) {
              sumSquares[static_cast<size_t>(channel)] += static_cast<double>(samples[s]) * samples[s];
              peaks[static_cast<size_t>(channel)] =
                  std::max(peaks[static_cast<size_t>(channel)], std::fabs(static_cast<double>(samples[s])));
            }
          }
        }
        av_frame_unref(impl_->frame);
      }
    }
  }
  played.frames = decoded - std::min<uint64_t>(decoded, played.trimmedFrames);
  std::lock_guard lock(impl_->mutex);
  const bool firstError = failed && impl_->converterError == 0;
  if (firstError) impl_->converterError = kAudioConverterErrBadPacket;
  if (impl_->metering && decoded > 0) {
    impl_->levels.assign(description_.channelsPerFrame, {});
    for (size_t channel = 0; channel < impl_->levels.size(); ++channel) {
      impl_->levels[channel].averagePower = toDB(std::sqrt(sumSquares[channel] / static_cast<double>(decoded)));
      impl_->levels[channel].peakPower = toDB(peaks[channel]);
    }
  }
  if (!recordsPlayed.load(std::memory_order_relaxed)) return firstError;
  if (impl_->played.size() >= kPlayedRecordLimit) {
    // Half at a time, so the record is not shifted on every buffer.
    impl_->played.erase(impl_->played.begin(),
                        impl_->played.begin() + static_cast<std::ptrdiff_t>(kPlayedRecordLimit / 2));
  }
  impl_->played.push_back(std::move(played));
  return firstError;
}

void AudioOutputQueue::withCallbacks(const std::function<void(const Callbacks&)>& call) {
  std::lock_guard lock(impl_->callbackMutex);
  const Callbacks callbacks = impl_->callbacks;
  call(callbacks);
}

}  // namespace plexora::platform

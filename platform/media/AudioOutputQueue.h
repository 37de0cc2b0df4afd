// An output audio queue without a sound device: a clocked sink that takes
// buffers of compressed packets (AAC or Opus), decodes them with libavcodec
// and consumes each at its time on the current platform Clock, as a device
// would play it, then hands the buffer back. It can record what it played,
// for whoever checks what was heard (tests); the record is off unless
// switched on, as a device keeps nothing of what it played.
//
// Time: while running, the queue's sample time advances with the clock's
// monotonic time at the stream's sample rate, with or without buffers
// (silence); a fresh start begins at sample time 0, a start after pause
// continues. A buffer plays from its start time (or the end of the one
// before, whichever is later) for its decoded frames, less the frames
// trimmed at its start; a start time already passed makes it late, not
// later: what it holds before the queue's time is not heard. Its packets go to the decoder (and into the record)
// once the sample time reaches its start, as a device's converter takes a
// buffer when it begins to play it, so a pause or stop inside a buffer still
// finds it played; it is returned once the sample time has passed its end.
//
// Callbacks (buffer returned, running state changed, converter error) run
// on the queue's own serial callback queue, never after dispose().
//
// Statuses are 32-bit codes, 0 for success.
//
// Thread safety: every member may be called from any thread.
// Ownership: the caller holds the queue and the buffers it allocated; the
// queue holds enqueued buffers until it returns them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/AudioStreamDescription.h"

namespace plexora::platform {

inline constexpr int32_t kAudioQueueOK = 0;
inline constexpr int32_t kAudioQueueErrInvalidParameter = -50;
inline constexpr int32_t kAudioQueueErrInvalidBuffer = -66687;
inline constexpr int32_t kAudioQueueErrBufferEmpty = -66686;
inline constexpr int32_t kAudioQueueErrDisposed = -66671;
inline constexpr int32_t kAudioQueueErrInvalidRunState = -66679;
inline constexpr int32_t kAudioQueueErrUnsupportedFormat = 1718449215;  // 'fmt?'
// The converter error a queue reports when a packet does not decode.
inline constexpr uint32_t kAudioConverterErrBadPacket = 0x21706B74;  // '!pkt'

struct AudioQueueBuffer {
  uint32_t audioDataBytesCapacity = 0;
  std::vector<uint8_t> audioData;  // capacity bytes
  uint32_t audioDataByteSize = 0;
  uint32_t packetDescriptionCapacity = 0;
  std::vector<AudioStreamPacketDescription> packetDescriptions;  // capacity entries
  uint32_t packetDescriptionCount = 0;
};

struct AudioQueueLevelMeterState {
  float averagePower = 0.0f;  // dB
  float peakPower = 0.0f;     // dB
};

enum class AudioQueueParameter { kVolume, kVolumeRampTime };

class AudioOutputQueue final : public std::enable_shared_from_this<AudioOutputQueue> {
 public:
  struct Callbacks {
    std::function<void(AudioOutputQueue&, const std::shared_ptr<AudioQueueBuffer>&)> bufferReturned;
    std::function<void(AudioOutputQueue&)> isRunningChanged;
    std::function<void(AudioOutputQueue&)> converterError;
  };
  // One buffer that began to play, as recorded.
  struct PlayedBuffer {
    double startSampleTime = 0;
    uint32_t packetCount = 0;
    uint32_t trimmedFrames = 0;
    uint64_t frames = 0;  // decoded frames played (after the trim)
    std::vector<std::vector<uint8_t>> packets;
  };
  struct VolumeChange {
    double sampleTime;
    float volume;
    float rampTime;
  };

  // AAC ("aac ", "aacp") and Opus. Fills `out` only on kAudioQueueOK.
  static int32_t newOutput(const AudioStreamBasicDescription& description, Callbacks callbacks,
                           std::shared_ptr<AudioOutputQueue>& out);
  ~AudioOutputQueue();
  AudioOutputQueue(const AudioOutputQueue&) = delete;
  AudioOutputQueue& operator=(const AudioOutputQueue&) = delete;

  int32_t allocateBufferWithPacketDescriptions(uint32_t byteCapacity, uint32_t packetDescriptionCapacity,
                                               std::shared_ptr<AudioQueueBuffer>& out);
  int32_t freeBuffer(const std::shared_ptr<AudioQueueBuffer>& buffer);
  // `startSampleTime` none: right after the buffer before (now, when there
  // is none since the last fresh start or reset).
  int32_t enqueueBufferWithParameters(const std::shared_ptr<AudioQueueBuffer>& buffer, uint32_t trimFramesAtStart,
                                      std::optional<double> startSampleTime);
  // `startSampleTime` none: continue where a pause left off; a value starts
  // afresh from that sample time.
  int32_t start(std::optional<double> startSampleTime);
  int32_t pause();
  // Not immediate: what is enqueued plays out first.
  int32_t stop(bool immediate);
  // Returns every enqueued buffer at once; those not yet begun go unplayed.
  int32_t reset();
  int32_t flush();
  // After it returns no callback runs; later calls answer kAudioQueueErrDisposed.
  void dispose();

  // Fails with kAudioQueueErrInvalidRunState before the first start.
  int32_t getCurrentTime(double& sampleTime, bool& discontinuity) const;
  int32_t setParameter(AudioQueueParameter parameter, float value);
  bool isRunning() const;
  uint32_t converterError() const;
  int32_t setLevelMeteringEnabled(bool enabled);
  // One state per channel, from the last buffer played.
  int32_t currentLevelMeterDB(std::vector<AudioQueueLevelMeterState>& levels) const;

  // Whether the queues of the process record the buffers that begin to
  // play; off by default, so a playback that loops for an hour does not
  // hold a copy of every packet it played. Read as each buffer begins.
  static void setRecordsPlayedBuffers(bool records);
  static bool recordsPlayedBuffers();
  // The buffers that began to play while recording was on, oldest first: at
  // most the last few thousand.
  std::vector<PlayedBuffer> playedBuffers() const;
  std::vector<VolumeChange> volumeChanges() const;
  const AudioStreamBasicDescription& description() const { return description_; }

 private:
  struct Impl;
  AudioOutputQueue(const AudioStreamBasicDescription& description, std::unique_ptr<Impl> impl);
  void scheduleLocked();
  void consumeDue();
  // Decodes the packets of a buffer that began to play and records it;
  // answers whether this is the queue's first packet that did not decode.
  bool decodeAndRecord(PlayedBuffer played);
  // Runs `call` with a copy of the callbacks, unless disposed.
  void withCallbacks(const std::function<void(const Callbacks&)>& call);

  const AudioStreamBasicDescription description_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plexora::platform

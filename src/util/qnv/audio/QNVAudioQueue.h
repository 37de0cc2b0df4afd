// The engine's audio engine: plays compressed audio packets through a
// platform output audio queue with three buffers of about 0.3 s each. It
// reads no media itself: when a buffer is free it asks its owner's put-data
// callback to fill it. It reports the queue's playback time, ramps the
// volume in, meters the output level and reports failures (error domain
// "QNVAudioQueue") through the error callback.
//
// Thread safety: every operation is called on the media-state queue; the
// platform queue's callbacks are moved there, and those of a queue that has
// since been replaced or invalidated are ignored.
// Ownership: the synchronous player owns the audio queue and calls
// invalidate() and removeLevelMetering() before releasing it; queued
// callbacks hold the object strongly until they have run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/AudioOutputQueue.h"
#include "platform/media/MediaTime.h"
#include "platform/value/Value.h"

namespace plexora {

inline constexpr const char* kQNVAudioQueueErrorDomain = "QNVAudioQueue";
inline constexpr int64_t kQNVAudioQueueErrorCreate = 1;
inline constexpr int64_t kQNVAudioQueueErrorStart = 2;
inline constexpr int64_t kQNVAudioQueueErrorEnqueue = 3;
inline constexpr int64_t kQNVAudioQueueErrorConverter = 4;

// When a buffer is to start playing.
struct QNVAudioTimeStamp {
  static constexpr uint32_t kSampleTimeValid = 1;
  double sampleTime = 0;
  uint32_t flags = 0;
};

struct AQBufferParameters {
  uint32_t bufferSize = 0;
  uint32_t packetCount = 0;
};

class QNVPlayerAudioEngine {
 public:
  // Fills `buffer` with packets (data, byte size, packet descriptions and
  // their count), writes the buffer's start time, sets `*firstPacket` when
  // the buffer begins a new run of packets; answers whether more may follow.
  using PutDataCallback = std::function<bool(platform::AudioQueueBuffer& buffer, QNVAudioTimeStamp* startTime,
                                             const platform::MediaTime* presentationTime, bool* firstPacket)>;
  using ErrorCallback = std::function<void(const platform::Error& error)>;
  using LevelCallback = std::function<void(double level)>;

  virtual ~QNVPlayerAudioEngine() = default;
  virtual void setAudioStreamBasicDescription(const platform::AudioStreamBasicDescription& description,
                                              const platform::Value& extraParameters, PutDataCallback putDataCallback,
                                              ErrorCallback errorCallback, uint32_t sampleFrameSize) = 0;
  virtual void prepareToPlay() = 0;
  virtual void playWithStartTime(const platform::MediaTime& startTime) = 0;
  virtual void pause() = 0;
  virtual void stop() = 0;
  virtual void reset() = 0;
  virtual void stopLoadingData() = 0;
  virtual void resumeEnqueuingData() = 0;
  virtual void invalidate() = 0;
  virtual platform::MediaTime getCurrentTime() = 0;
  virtual void setVolume(float volume, float rampTime) = 0;
  virtual void enableLevelMeteringWithCallback(LevelCallback callback) = 0;
  virtual void sendCurrentAudioLevelToCallback() = 0;
  virtual void removeLevelMetering() = 0;
};

class QNVAudioQueue final : public QNVPlayerAudioEngine, public std::enable_shared_from_this<QNVAudioQueue> {
 public:
  enum State : uint64_t { kNoQueue = 0, kCreated = 1, kStopped = 2, kRunning = 3, kPaused = 4, kFailed = 5 };
  static constexpr size_t kBufferCount = 3;
  // The AAC encoder's delay, trimmed from the first buffer of a run.
  static constexpr uint32_t kFirstPacketTrimFrames = 0x840;

  static std::shared_ptr<QNVAudioQueue> create();
  ~QNVAudioQueue() override;
  QNVAudioQueue(const QNVAudioQueue&) = delete;
  QNVAudioQueue& operator=(const QNVAudioQueue&) = delete;

  void setAudioStreamBasicDescription(const platform::AudioStreamBasicDescription& description,
                                      const platform::Value& extraParameters, PutDataCallback putDataCallback,
                                      ErrorCallback errorCallback, uint32_t sampleFrameSize) override;
  void prepareToPlay() override;
  void playWithStartTime(const platform::MediaTime& startTime) override;
  // A failed queue stays failed.
  void pause() override;
  void stop() override;
  void reset() override;
  void stopLoadingData() override;
  void resumeEnqueuingData() override;
  void invalidate() override;
  platform::MediaTime getCurrentTime() override;
  void setVolume(float volume, float rampTime) override;
  void enableLevelMeteringWithCallback(LevelCallback callback) override;
  void sendCurrentAudioLevelToCallback() override;
  void removeLevelMetering() override;

  uint64_t _queueState() const { return state_; }
  // The platform queue now playing (tests read what it played).
  std::shared_ptr<platform::AudioOutputQueue> outputQueue() const { return audioQueue_; }
  static AQBufferParameters _calculateBufferSizeAndPacketCountWithAsbd(
      const platform::AudioStreamBasicDescription& description, uint32_t frameSize);

  std::string description() const;

 private:
  struct AQBufferState {
    std::shared_ptr<platform::AudioQueueBuffer> bufferRef;
    QNVAudioTimeStamp timestamp;
    bool enqueued = false;
  };

  QNVAudioQueue();
  bool _createAudioQueue();
  void _stopAudio();
  void _removeAudioQueue();
  int32_t _startQueue();
  void _readDataIntoBuffer();
  // A fill that found the queue's clock not yet moved is tried again once
  // it has, rather than at the owner's next playback tick a fifth of a
  // second later: the owner skips the packets the clock has passed by then,
  // so the start of the stream would never play.
  void _fillOnceTheQueueHasPlayed(double seconds);
  void audioQueueOutputCallback(const platform::AudioOutputQueue* queue,
                                const std::shared_ptr<platform::AudioQueueBuffer>& buffer);
  void audioQueueIsRunningCallback(const platform::AudioOutputQueue* queue);
  void audioQueueErrorCallback(const platform::AudioOutputQueue* queue);
  void fail(int64_t code, const char* key, int64_t value);

  std::shared_ptr<platform::AudioOutputQueue> audioQueue_;
  PutDataCallback putDataCallback_;
  ErrorCallback errorCallback_;
  platform::AudioStreamBasicDescription asbd_;
  uint32_t sampleFrameSize_ = 0;
  AQBufferParameters bufferParams_;
  QNVAudioTimeStamp zeroTimestamp_;
  uint64_t state_ = kNoQueue;
  bool hasNoMoreFramesToEnqueue_ = false;
  bool fillRetryScheduled_ = false;
  std::array<AQBufferState, kBufferCount> audioQueueBuffer_;
  int32_t activeBufferIndex_ = 0;
  uint64_t framesEnqueued_ = 0;
  uint64_t buffersReturned_ = 0;
  uint64_t enqueueDataCalls_ = 0;
  platform::DispatchQueuePtr internalQueue_;
  std::optional<float> pendingVolume_;
  float pendingVolumeRampTime_ = 0.0f;
  bool deferAudioLevelSetup_ = false;
  LevelCallback audioLevelCallback_;
  std::vector<platform::AudioQueueLevelMeterState> levels_;
  bool levelsEnabled_ = false;
};

}  // namespace plexora

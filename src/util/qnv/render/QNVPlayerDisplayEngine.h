// The synchronous player's display engine (the player layer): it takes
// compressed video frames, decodes them and shows each at its time on the
// control timebase the player's clock hands it.
//
// Thread safety: the player calls every operation on the media-state queue.
// Ownership: the player owns its display engine; the engine holds its
// delegate weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/AffineTransform.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/Timebase.h"
#include "util/qnv/core/QNVFrameFlags.h"

namespace plexora {

class QNVPlayerRenderer;

// Statuses of a display engine.
inline constexpr int64_t kQNVPlayerLayerStatusRendering = 1;
inline constexpr int64_t kQNVPlayerLayerStatusFailed = 2;

// Why playback pauses.
inline constexpr int32_t kQNVPauseReasonRequested = 1;
inline constexpr int32_t kQNVPauseReasonApplicationInactive = 2;
inline constexpr int32_t kQNVPauseReasonStallAfterStart = 3;
inline constexpr int32_t kQNVPauseReasonStallBeforeStart = 4;
inline constexpr int32_t kQNVPauseReasonLayerError = 5;

class QNVPlayerDisplayEngineDelegate {
 public:
  virtual ~QNVPlayerDisplayEngineDelegate() = default;
  // The queue on which the engine reports to its delegate.
  virtual platform::DispatchQueuePtr queueForLayerUpdates() = 0;
  virtual void layerUpdatedWithError(const platform::Error& error) = 0;
};

class QNVPlayerDisplayEngine {
 public:
  virtual ~QNVPlayerDisplayEngine() = default;
  virtual void setControlTimebase(std::shared_ptr<platform::Timebase> controlTimebase) = 0;
  virtual void setPlayerLayerDelegate(std::weak_ptr<QNVPlayerDisplayEngineDelegate> delegate) = 0;
  virtual bool flushIfError() = 0;
  virtual int64_t status() const = 0;
  virtual std::optional<platform::Error> error() const = 0;
  virtual void setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) = 0;
  virtual void setPreferredTransform(const platform::AffineTransform& transform) = 0;
  virtual void resume() = 0;
  virtual void pause(int32_t reason) = 0;
  virtual void pauseDisplayLink() = 0;
  virtual void flush() = 0;
  virtual void flushAndRemoveImage() = 0;
  virtual bool flushDisplayReadySampleBuffers() = 0;
  virtual bool isReadyForMoreMediaData() const = 0;
  virtual void requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr queue, std::function<void()> block) = 0;
  virtual void stopRequestingMediaData() = 0;
  // The video track has no more frames: every frame enqueued is to come
  // out of the decoder.
  virtual void finishDelayedFrames() {}
  // `attributes` are the frame record's flags (QNVFrameFlags.h).
  virtual void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint32_t attributes) = 0;
  // A frame the item decoded itself, shown in enqueue order.
  virtual void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                                       platform::MediaTime presentationTimeStamp,
                                       platform::MediaTime presentationDuration) = 0;
};

}  // namespace plexora

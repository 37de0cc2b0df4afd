// The engine's H.264 decoder: the platform decompression session, fed in
// order from the serial queue "decompression_session_encoding", its pictures
// handed to the delegate on the platform session's output thread.
//
// Thread safety: enqueue and close from the layer's thread; see
// QNVDecompressionSession. Ownership: queued decode blocks hold the object
// weakly; the close block keeps it alive until the decoder has drained and
// been invalidated.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/DecompressionSession.h"
#include "util/qnv/decode/QNVDecompressionSession.h"

namespace plexora {

class QNVDecompressionSessionWithVideoToolbox final
    : public QNVDecompressionSession,
      public std::enable_shared_from_this<QNVDecompressionSessionWithVideoToolbox> {
 public:
  // None when the decoder cannot be made; the delegate then hears
  // handleDecompressionSessionError ("create session") before this returns.
  // The output size, the async flag and the timer manager are accepted for
  // the interface's sake: pictures come out at the stream's size, always
  // asynchronously.
  static std::shared_ptr<QNVDecompressionSessionWithVideoToolbox> initWithDelegate(
      const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate,
      const platform::VideoFormatDescription& sampleBufferFormatDescription, platform::Size videoSize, bool async,
      const std::shared_ptr<QNVTimerManager>& timerManager);

  void closeSession() override;
  void finishDelayedFrames() override;
  // Refused (logged, nothing decoded) once the session is closed.
  void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint64_t iFrame) override;
  bool canAcceptFormatDescription(const platform::VideoFormatDescription& formatDescription) const override;
  platform::Size inputSize() const override { return inputSize_; }

  std::shared_ptr<QNVDecompressionSessionDelegate> delegate() const;
  void setDelegate(const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate);

  std::string description() const;

 private:
  QNVDecompressionSessionWithVideoToolbox() = default;
  void decompressionOutput(int32_t status, uint64_t iFrame, std::shared_ptr<platform::PixelBuffer> image,
                           platform::MediaTime presentationTime, platform::MediaTime presentationDuration);

  platform::Size inputSize_;
  mutable std::mutex delegateMutex_;  // the delegate is read on decoder threads
  std::weak_ptr<QNVDecompressionSessionDelegate> delegate_;
  bool firstFrameEnqueued_ = false;
  std::atomic<bool> closed_{false};
  std::shared_ptr<platform::DecompressionSession> decompressionSession_;
  platform::DispatchQueuePtr decompressionSessionQueue_;
};

}  // namespace plexora

// The engine's H.264 decoder where the platform has no decompression
// session of its own: it collects the compressed samples and, every 200 ms
// once enough have arrived, writes a run of them as they are into a
// temporary MP4 file with the platform asset writer, reads the file back
// with the platform asset reader into NV12 pictures and yields those to the
// delegate. Runs end at IDR pictures, so every file after the first begins
// with the key frame that ended the run before it.
//
// Every sample yields one picture, numbered from the first sample's number
// up in the order the pictures are yielded (presentation order), with a
// duration of zero; the very first picture of the session is yielded too. A
// run that decodes fewer pictures than it wrote repeats its last picture
// for the missing ones. Writer and reader failures (an unwritable temporary
// directory, a damaged sample) reach the delegate through
// handleDecompressionSessionError (domain "QNVGLDecompression", "src"
// "write file" or "read file", the platform status as code), and the run
// then ends at once rather than waiting for the stall reset.
//
// Threads: enqueue and close on the layer's thread; the sample queue, the
// polls and the ends of runs on the serial queue
// "decompression_session_encoding" (the poll timer fires there); writing,
// reading and the delegate's calls on the serial queue
// "decompression_session_flush". Temporary files are named after the
// session ("QNVDecompressionSession-<uuid>-<uuid>.mp4") in
// platform::temporaryDirectory(); each is removed once read, and
// closeSession() removes any left.
//
// Ownership: the session holds its delegate weakly; queued blocks and the
// poll timer hold the session weakly, so dropping it after closeSession()
// ends it. A run already being written or read finishes on its own queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/AssetReader.h"
#include "util/qnv/decode/QNVDecompressionSession.h"

namespace plexora {

inline constexpr const char* kQNVDecompressionFlushQueueLabel = "decompression_session_flush";
inline constexpr const char* kQNVDecompressionSourceWriteFile = "write file";
inline constexpr const char* kQNVDecompressionSourceReadFile = "read file";
// Between two polls of the sample queue.
inline constexpr uint64_t kQNVDecompressionPollIntervalNanoseconds = 200'000'000;

class QNVDecompressionSessionWithoutVideoToolbox final
    : public QNVDecompressionSession,
      public std::enable_shared_from_this<QNVDecompressionSessionWithoutVideoToolbox> {
 public:
  // Never fails. `async` false runs the queues' work inline (tests); the
  // wanted size is not used: pictures come at the stream's size. Without a
  // timer manager the engine's wall-clock timers are used.
  static std::shared_ptr<QNVDecompressionSessionWithoutVideoToolbox> initWithDelegate(
      const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate,
      const platform::VideoFormatDescription& sampleBufferFormatDescription, platform::Size videoSize, bool async,
      std::shared_ptr<QNVTimerManager> timerManager);
  ~QNVDecompressionSessionWithoutVideoToolbox() override;
  QNVDecompressionSessionWithoutVideoToolbox(const QNVDecompressionSessionWithoutVideoToolbox&) = delete;
  QNVDecompressionSessionWithoutVideoToolbox& operator=(const QNVDecompressionSessionWithoutVideoToolbox&) = delete;

  void closeSession() override;
  void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint64_t iFrame) override;
  // Always false: the layer makes a new session whenever it checks a
  // format.
  bool canAcceptFormatDescription(const platform::VideoFormatDescription&) const override { return false; }
  platform::Size inputSize() const override { return inputSize_; }

  std::shared_ptr<QNVDecompressionSessionDelegate> delegate() const;
  void setDelegate(const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate);

  // The counters, for logs.
  std::string description() const;
  // The prefix of every temporary file of this session.
  const std::string& decompressionSessionUUID() const { return decompressionSessionUUID_; }

 private:
  // One run: the samples written, from queue position 0.
  struct Run {
    std::vector<platform::SampleBuffer> samples;
    size_t toIndex = 0;
    bool toIndexIsKeyFrame = false;
    uint64_t pollID = 0;
  };

  QNVDecompressionSessionWithoutVideoToolbox() = default;

  void _removeTemporaryFilesWithLimit(uint64_t limit);
  void _poll();
  void _pollCompletedToIndex(size_t toIndex, bool toIndexIsKeyFrame, uint64_t pollID);
  void _flushSampleBuffers(const std::shared_ptr<Run>& run);
  void _loadSampleBuffersBackFromFile(const std::string& path, const std::shared_ptr<Run>& run);
  void _handleAssetLoadCompletion(std::vector<platform::DecodedVideoSample> decoded, const Run& run);
  void _yieldDecompressedSampleBuffer(const platform::DecodedVideoSample& sample,
                                      const std::shared_ptr<QNVDecompressionSessionDelegate>& delegate);
  // Tells the delegate, then ends the run with the pictures it has.
  void _failRun(const platform::Error& cause, const char* source, const std::shared_ptr<Run>& run,
                std::vector<platform::DecodedVideoSample> decoded);
  platform::DispatchQueuePtr flushQueue() const;

  platform::Size inputSize_;
  bool async_ = true;
  std::string decompressionSessionUUID_;
  platform::DispatchQueuePtr decompressionQueue_;
  std::shared_ptr<QNVTimerManager> timerManager_;
  std::shared_ptr<QNVTimer> pollTimer_;

  mutable std::mutex delegateMutex_;
  std::weak_ptr<QNVDecompressionSessionDelegate> delegate_;
  mutable std::mutex flushQueueMutex_;  // replaced by a poll, read by every run
  platform::DispatchQueuePtr flushQueue_;

  // On the decompression queue (atomics: description() reads them anywhere).
  std::deque<platform::SampleBuffer> sampleBuffers_;
  std::atomic<uint64_t> sampleBufferCount_{0};
  std::atomic<uint64_t> prevFrameEnqueuedIndex_{1};
  std::atomic<bool> pollingInProgress_{false};
  std::atomic<uint64_t> pollingStallCount_{0};
  std::atomic<uint64_t> frameEnqueuedCount_{0};
  uint64_t pollingNotEnoughNewFramesCount_ = 0;
  uint64_t pollID_ = 0;

  // Set by the first enqueue, on the layer's thread, before any run reads it.
  std::atomic<int64_t> initialIFrame_{INT64_MIN};

  // Of the runs, which may overlap once a stuck one is abandoned.
  mutable std::mutex yieldMutex_;
  std::atomic<uint64_t> frameFlushedCount_{0};
  std::atomic<uint64_t> frameDequeuedCount_{0};
  // Whether the picture of the sample at queue position 0 has been yielded:
  // only the session's first sample is ever there unshown.
  bool headFrameYielded_ = false;
  std::optional<platform::DecodedVideoSample> mostRecentSampleFrame_;
};

}  // namespace plexora

// Writes compressed H.264 samples, as they are (passthrough: nothing is
// re-encoded), into an MP4 file through libavformat: one writer, one video
// input.
//
// Semantics:
// - Status: unknown until startWriting(); writing after it succeeds (the
//   file is created there, so an unwritable place fails at once); completed
//   once finishWriting() has closed the file; failed on the first failure,
//   with error() telling what failed (domain kAssetWriterErrorDomain, code
//   the libavformat status or one of the codes below). A failed writer
//   takes nothing more.
// - Times: samples keep their decode and presentation times: read back, a
//   sample written at t is presented at t. The track's timescale is that
//   of the first sample's presentation time, so times in it are exact. The
//   session starts at a source time (startSessionAtSourceTime); a sample
//   presented before it is refused.
// - Samples go in decode order (strictly increasing decode times), one
//   picture per sample buffer (a buffer with several samples is refused).
//   A sample that holds an IDR picture is written as a sync sample;
//   attachments are not looked at. Decode times only order the samples: a
//   run whose decode times lead its presentation times (reordered pictures)
//   has them all moved back by the largest lead.
// - The samples are kept in memory and go to the file when the writer
//   finishes; the file exists from startWriting() on.
// - The index (moov) follows the media data: the file is not made for
//   progressive download.
//
// Thread safety: none; a writer and its input belong to one queue at a
// time. The input's request block runs on the queue given for it.
// Ownership: the writer owns its input; the input refers back to its
// writer weakly. The file stays where it was written: deleting it is the
// caller's affair.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"

namespace plexora::platform {

inline constexpr const char* kAssetWriterErrorDomain = "AssetWriterError";
enum AssetWriterErrorCode : int64_t {
  // The operation does not fit the writer's status, or it has no input.
  kAssetWriterErrorInvalidState = 1,
  // The format hint cannot be written as an MP4 video track.
  kAssetWriterErrorInvalidFormat = 2,
  // The sample has no bytes, no valid times, several pictures, or is
  // presented before the session's start.
  kAssetWriterErrorInvalidSample = 3,
};

enum class AssetWriterStatus { kUnknown, kWriting, kCompleted, kFailed };

class AssetWriter;

class AssetWriterInput final : public std::enable_shared_from_this<AssetWriterInput> {
 public:
  // A passthrough H.264 video input; the hint describes every sample to
  // come.
  static std::shared_ptr<AssetWriterInput> create(VideoFormatDescription sourceFormatHint);

  // A file never makes an input wait, so there is no real-time mode.
  // While the writer is writing and the input has not been marked finished.
  bool isReadyForMoreMediaData() const;
  // False when the sample was not written (the writer's error tells why).
  bool appendSampleBuffer(const SampleBuffer& sample);
  // Runs `block` on `queue` until the input is marked finished or its writer
  // stops writing, again after each return: the block appends while the
  // input is ready and marks it finished when it has no more.
  void requestMediaDataWhenReadyOnQueue(DispatchQueuePtr queue, std::function<void()> block);
  void markAsFinished() { finished_ = true; }
  const VideoFormatDescription& sourceFormatHint() const { return sourceFormatHint_; }

 private:
  friend class AssetWriter;
  explicit AssetWriterInput(VideoFormatDescription sourceFormatHint)
      : sourceFormatHint_(std::move(sourceFormatHint)) {}
  void runRequest(const DispatchQueuePtr& queue, const std::shared_ptr<std::function<void()>>& block);

  const VideoFormatDescription sourceFormatHint_;
  std::weak_ptr<AssetWriter> writer_;
  bool finished_ = false;
};

class AssetWriter final : public std::enable_shared_from_this<AssetWriter> {
 public:
  // Nothing is touched on disk until startWriting().
  static std::shared_ptr<AssetWriter> create(std::string path);
  ~AssetWriter();
  AssetWriter(const AssetWriter&) = delete;
  AssetWriter& operator=(const AssetWriter&) = delete;

  // One input, before startWriting().
  bool canAddInput(const std::shared_ptr<AssetWriterInput>& input) const;
  void addInput(std::shared_ptr<AssetWriterInput> input);
  // Creates (or replaces) the file. False when it fails.
  bool startWriting();
  void startSessionAtSourceTime(MediaTime startTime) { sessionStart_ = startTime; }
  // Writes the index and closes the file, then runs the handler before
  // returning; the status then tells whether the file is complete.
  void finishWriting(const std::function<void()>& completionHandler);

  AssetWriterStatus status() const { return status_; }
  const std::optional<Error>& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  friend class AssetWriterInput;
  struct Impl;
  explicit AssetWriter(std::string path);
  bool append(const SampleBuffer& sample);
  bool writePackets();
  void fail(int64_t code, const std::string& what);

  const std::string path_;
  std::unique_ptr<Impl> impl_;
  std::shared_ptr<AssetWriterInput> input_;
  MediaTime sessionStart_ = MediaTime::zero();
  AssetWriterStatus status_ = AssetWriterStatus::kUnknown;
  std::optional<Error> error_;
};

}  // namespace plexora::platform

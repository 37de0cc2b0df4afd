// Reads an MP4 (or any file libavformat opens) back as decoded pictures:
// the first video track, decoded with libavcodec and converted to NV12
// ('420v') pixel buffers, in presentation order.
//
// Semantics:
// - Opening (create) reads the file's index before it returns; a file that
//   cannot be opened gives no reader and an error. videoTrackCount() tells
//   whether there is anything to read.
// - Status: unknown until startReading(); reading after it succeeds;
//   completed once copyNextSampleBuffer() has handed out the last picture
//   (it then answers none); failed when the file cannot be read or a
//   picture cannot be decoded or converted, with error() telling what
//   (domain kAssetReaderErrorDomain, code the libav status or one of the
//   codes below); cancelled by cancelReading(). Pictures handed out before
//   a failure stay valid.
// - Times: each picture carries the presentation time of its sample in the
//   track's timescale, edit lists applied as the file's timeline says.
// - Time range: by default the whole track; with setTimeRange() (before
//   startReading) a picture presented before the range's start or at or
//   after its end is decoded (later pictures may need it) but not handed
//   out.
// - Attachments: a picture carries the YCbCr matrix of its stream
//   (kPixelBufferYCbCrMatrixKey) and nothing else.
// - Audio: not read; the reader has no audio output, so there is no packet
//   grouping to speak of.
//
// Thread safety: none; a reader belongs to one queue at a time.
// Ownership: the reader owns the open file until it is destroyed; pictures
// handed out belong to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace plexora::platform {

inline constexpr const char* kAssetReaderErrorDomain = "AssetReaderError";
enum AssetReaderErrorCode : int64_t {
  // startReading on a file without a video track, or twice.
  kAssetReaderErrorInvalidState = 1,
  // The track's codec cannot be decoded here.
  kAssetReaderErrorUnsupportedCodec = 2,
};

enum class AssetReaderStatus { kUnknown, kReading, kCompleted, kFailed, kCancelled };

struct DecodedVideoSample {
  std::shared_ptr<PixelBuffer> imageBuffer;
  MediaTime presentationTimeStamp;
};

class AssetReader final {
 public:
  // None (and `error` set when given) when the file cannot be opened.
  static std::unique_ptr<AssetReader> create(const std::string& path, std::optional<Error>* error);
  ~AssetReader();
  AssetReader(const AssetReader&) = delete;
  AssetReader& operator=(const AssetReader&) = delete;

  size_t videoTrackCount() const;
  void setTimeRange(const MediaTimeRange& timeRange) { timeRange_ = timeRange; }
  // Prepares the decoder of the first video track. False when it fails.
  bool startReading();
  // The next picture in presentation order; none once done or failed.
  std::optional<DecodedVideoSample> copyNextSampleBuffer();
  void cancelReading();

  AssetReaderStatus status() const { return status_; }
  const std::optional<Error>& error() const { return error_; }

 private:
  struct Impl;
  explicit AssetReader(std::unique_ptr<Impl> impl);
  void fail(int64_t code, const std::string& what);
  // Decodes until a picture is ready; false at the end or on failure.
  bool decodeNextPicture();
  std::optional<DecodedVideoSample> convertPicture();

  std::unique_ptr<Impl> impl_;
  std::optional<MediaTimeRange> timeRange_;
  AssetReaderStatus status_ = AssetReaderStatus::kUnknown;
  std::optional<Error> error_;
};

}  // namespace plexora::platform

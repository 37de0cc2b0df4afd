// An H.264 decompression session over libavcodec: compressed samples go in
// one at a time with a number of the caller's choosing, decoded pictures
// come out as planar 4:2:0 (I420) pixel buffers on the session's own output
// thread, each with the number given with its sample, also when the stream
// reorders pictures (B-frames).
//
// Statuses are 32-bit codes, 0 for success, so callers can report them as
// the error codes of their own domains.
//
// Pictures come out at the stream's cropped size, a crop at any edge shown
// in place (the planes start at the region's first sample); a picture of
// another size than the format description's (a mid-stream resolution
// change) is reported as kDecompressionSessionResolutionChanged without an
// image.
//
// Thread safety: decodeFrame, waitForAsynchronousFrames, invalidate and
// canAcceptFormatDescription may be called from any thread, one at a time.
// The output callback runs on the session's output queue, one call at a
// time, in output order. Ownership: the session holds the callback until
// invalidate() or destruction; every picture handed out belongs to the
// receiver.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"

namespace plexora::platform {

inline constexpr int32_t kDecompressionSessionOK = 0;
// The format description cannot be turned into a decoder configuration.
inline constexpr int32_t kDecompressionSessionInvalidFormat = -12909;
// The decoder could not be made or opened.
inline constexpr int32_t kDecompressionSessionCannotCreate = -12913;
// The sample is malformed or references parameter sets the stream lacks.
inline constexpr int32_t kDecompressionSessionBadData = -12911;
// The decoder produced a picture it knows to be damaged.
inline constexpr int32_t kDecompressionSessionCorruptFrame = -12912;
// The picture's size differs from the format description's.
inline constexpr int32_t kDecompressionSessionResolutionChanged = -12916;
// The picture is in a layout the session cannot hand out (not planar 4:2:0).
inline constexpr int32_t kDecompressionSessionUnsupportedPixelFormat = -12910;
// Damage that outlasts this many samples in a row is a broken stream (or a
// configuration the decoder cannot use), not one bad sample.
inline constexpr int kDecompressionSessionMaxRefusedInARow = 16;
// The session was invalidated.
inline constexpr int32_t kDecompressionSessionInvalidated = -12903;

class DecompressionSession final {
 public:
  // status, the caller's frame number, the picture (null on failure or when
  // the decoder dropped it), its presentation time and duration.
  using OutputCallback = std::function<void(int32_t status, uint64_t frameNumber, std::shared_ptr<PixelBuffer> image,
                                            MediaTime presentationTime, MediaTime presentationDuration)>;

  // Whether the platform offers this decoder. Tests switch it off to take
  // the path without it; it is on by default.
  static bool isAvailable();
  static void setAvailable(bool available);

  // Fills `out` only on kDecompressionSessionOK.
  static int32_t create(const VideoFormatDescription& format, OutputCallback output,
                        std::shared_ptr<DecompressionSession>& out);
  ~DecompressionSession();
  DecompressionSession(const DecompressionSession&) = delete;
  DecompressionSession& operator=(const DecompressionSession&) = delete;

  // Decodes the sample's bytes. A failure of the sample itself is answered
  // here; pictures (and failures of pictures) arrive through the callback.
  // A sample the decoder refuses as invalid data is skipped (logged, and
  // answered through the callback without a picture): one damaged sample
  // does not end the stream; more than
  // kDecompressionSessionMaxRefusedInARow refused in a row are answered
  // kDecompressionSessionBadData.
  int32_t decodeFrame(const SampleBuffer& sample, uint64_t frameNumber);
  // Drains the pictures the decoder still holds back and returns once their
  // callbacks have run. The session then decodes on as after a key frame.
  void waitForAsynchronousFrames();
  // Drops the decoder and the callback; later calls answer
  // kDecompressionSessionInvalidated and deliver nothing.
  void invalidate();
  // Whether samples of `format` can be decoded without a new session.
  bool canAcceptFormatDescription(const VideoFormatDescription& format) const;

 private:
  struct Impl;
  explicit DecompressionSession(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace plexora::platform

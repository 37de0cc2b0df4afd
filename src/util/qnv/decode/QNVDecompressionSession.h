// The interface between the player layer and its video decoders: compressed
// samples go in one at a time, numbered by the layer; each decoded picture
// comes back to the delegate with its number.
//
// Errors are platform Errors in the domain "QNVGLDecompression" whose code
// is the decoder's status and whose user info names the failing step under
// "src" ("create session", "decode frame", "data callback") and, for the
// last two, describes the frame under "err".
//
// Thread safety: a session's operations are called from the layer's thread,
// one at a time; the delegate is called from decoder threads and must accept
// calls from any thread. Ownership: the session holds its delegate weakly;
// the owner ends every session with closeSession() and then drops it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/VideoFormatDescription.h"
#include "platform/ui/Geometry.h"
#include "util/qnv/core/QNVTimerManager.h"

namespace plexora {

// The serial queue every decoder feeds its decoding from.
inline constexpr const char* kQNVDecompressionSessionQueueLabel = "decompression_session_encoding";
inline constexpr const char* kQNVGLDecompressionErrorDomain = "QNVGLDecompression";
inline constexpr const char* kQNVDecompressionErrorSourceKey = "src";
inline constexpr const char* kQNVDecompressionErrorTextKey = "err";
inline constexpr const char* kQNVDecompressionSourceCreateSession = "create session";
inline constexpr const char* kQNVDecompressionSourceDecodeFrame = "decode frame";
inline constexpr const char* kQNVDecompressionSourceDataCallback = "data callback";

class QNVDecompressionSessionDelegate {
 public:
  virtual ~QNVDecompressionSessionDelegate() = default;
  // `buffer` is null when the decoder dropped the frame.
  virtual void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                                       platform::MediaTime presentationTimeStamp,
                                       platform::MediaTime presentationDuration, uint64_t iFrame) = 0;
  // An error not tied to one frame.
  virtual void handleDecompressionSessionError(const platform::Error& error) = 0;
  // An error of the frame numbered `ifIFrameStillValid`.
  virtual void handleDecompressionSessionError(const platform::Error& error, uint64_t ifIFrameStillValid) = 0;
};

class QNVDecompressionSession {
 public:
  virtual ~QNVDecompressionSession() = default;
  virtual void closeSession() = 0;
  virtual void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint64_t iFrame) = 0;
  virtual bool canAcceptFormatDescription(const platform::VideoFormatDescription& formatDescription) const = 0;
  // The presentation size of the format the session was made for.
  virtual platform::Size inputSize() const = 0;
  // End of stream: hands out the pictures the decoder still holds back for
  // reordering; later samples decode on as after a key frame.
  virtual void finishDelayedFrames() {}
};

}  // namespace plexora

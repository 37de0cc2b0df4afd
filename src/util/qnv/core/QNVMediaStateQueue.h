// What the whole video engine shares: the serial queue that carries all
// playback state, the debugger test behind the engine's soft assertions, a
// run-now-or-later helper and the IDR test the decoders use.
//
// Thread safety: every function may be called from any thread.
// Ownership: the media-state queue lives for the process.
#pragma once

#include <functional>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/SampleBuffer.h"

namespace plexora {

inline constexpr const char* kQNVMediaStateQueueLabel = "qnv-media-state";

// The engine's one serial state queue, made on first use.
platform::DispatchQueuePtr QNVMediaStateQueue();
// Whether the calling code runs as a task of the media-state queue.
bool QNVIsOnMediaStateQueue();

// Whether a debugger traces this process.
bool QNVIsDebuggerAttached();

// Without a block nothing happens; `async` queues it on `queue`, otherwise it
// runs on the calling thread before this returns.
void QNVDispatchAsyncIfNeeded(bool async, const platform::DispatchQueuePtr& queue, const std::function<void()>& block);

// Whether length-prefixed (4-byte big-endian) H.264 sample data holds a NAL
// unit of type 5. Offsets are 64-bit, so no unit length can wrap the walk.
bool QNVSampleBufferContainsIDR(const platform::SampleBuffer& sampleBuffer);

// A failed soft assertion: logs where and why and stops in the debugger, but
// only when one is attached; otherwise silent. Either way the caller goes on
// with its fallback.
void QNVSoftAssertionFailed(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace plexora

// Development builds check; release builds leave the check out, and the
// code after it runs either way.
#ifdef NDEBUG
#define QNV_SOFT_ASSERT(condition, ...) ((void)0)
#else
#define QNV_SOFT_ASSERT(condition, ...)                                            \
  do {                                                                             \
    if (!(condition)) ::plexora::QNVSoftAssertionFailed(__VA_ARGS__); \
  } while (0)
#endif
#define QNV_ASSERT_MEDIA_STATE_QUEUE() QNV_SOFT_ASSERT(::plexora::QNVIsOnMediaStateQueue(), "%s", "")

// What the whole video engine shares: the serial queue that carries all
// playback state and the assertion that code runs on it, the debugger test
// behind the engine's soft assertions, a run-now-or-later helper and the IDR
// test the decoders use.
//
// Thread safety: every function may be called from any thread.
// Ownership: the media-state queue lives for the process.
#pragma once

#include <functional>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/SampleBuffer.h"
#include "util/qnv/core/QNVSoftAssertion.h"

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

}  // namespace plexora

#define QNV_ASSERT_MEDIA_STATE_QUEUE() \
  QNV_SOFT_ASSERT(::plexora::QNVIsOnMediaStateQueue(), "%s runs on the media-state queue", __func__)

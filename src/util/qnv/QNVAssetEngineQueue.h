// Where the assets meet the video engine's queue: the shared serial
// media-state queue on which the engine pulls frames and every asynchronous
// asset does its work, and the helper that runs a callback there or at once.
//
// Thread safety: every function may be called from any thread.
// Ownership: the media-state queue lives for the process.
#pragma once

#include <functional>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

inline constexpr const char* kQNVMediaStateQueueLabel = "qnv-media-state";

// Made once, on first use.
platform::DispatchQueuePtr QNVAssetMediaStateQueue();

// With `async` dispatches the callback on the queue, else calls it at once
// in the caller; nothing for an empty callback.
void QNVAssetDispatchAsyncIfNeeded(bool async, const platform::DispatchQueuePtr& queue, std::function<void()> callback);

}  // namespace plexora

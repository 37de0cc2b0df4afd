// Player objects whose destruction never blocks the thread that lets go of
// them: tearing down a media pipeline can take a while, so the last release
// hands the object to one serial background queue, which destroys player
// objects one at a time in the order of their last releases.
//
// A weak reference to such an object answers null from the last release on,
// even while the destruction is still queued.
//
// Thread safety: the objects may be released on any thread.
// Ownership: the caller owns the object through the std::shared_ptr; after
// the last release the deallocation queue owns it until it is destroyed.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

// "com.plexora.ads.dealloc", made on first use.
platform::DispatchQueuePtr OVAdBackgroundDeallocationQueue();

// Logs the destruction and destroys the object on the deallocation queue.
void OVAdDeallocateInBackground(const void* object, std::function<void()> destroy);

// A player object (or any object of that weight) whose last release
// destroys it on the deallocation queue.
template <typename T, typename... Arguments>
std::shared_ptr<T> OVAdMakeBackgroundDeallocated(Arguments&&... arguments) {
  return std::shared_ptr<T>(new T(std::forward<Arguments>(arguments)...),
                            [](T* object) { OVAdDeallocateInBackground(object, [object] { delete object; }); });
}

}  // namespace plexora

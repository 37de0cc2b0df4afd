#include "platform/dispatch/CurrentQueue.h"

namespace plexora::platform::detail {

namespace {
thread_local const CurrentQueueScope* innermostScope = nullptr;
}  // namespace

CurrentQueueScope::CurrentQueueScope(const DispatchQueue* queue) : queue_(queue), outer_(innermostScope) {
  innermostScope = this;
}

CurrentQueueScope::~CurrentQueueScope() { innermostScope = outer_; }

const DispatchQueue* innermostCurrentQueue() { return innermostScope ? innermostScope->queue() : nullptr; }

bool isOnCurrentQueueStack(const DispatchQueue* queue) {
  for (const CurrentQueueScope* scope = innermostScope; scope != nullptr; scope = scope->outer()) {
    if (scope->queue() == queue) {
      return true;
    }
  }
  return false;
}

}  // namespace plexora::platform::detail

#include "platform/dispatch/CurrentQueue.h"

#include <algorithm>
#include <vector>

namespace plexora::platform::detail {

namespace {
thread_local std::vector<const DispatchQueue*> currentQueues;
}  // namespace

CurrentQueueScope::CurrentQueueScope(const DispatchQueue* queue) { currentQueues.push_back(queue); }

CurrentQueueScope::~CurrentQueueScope() { currentQueues.pop_back(); }

const DispatchQueue* innermostCurrentQueue() { return currentQueues.empty() ? nullptr : currentQueues.back(); }

bool isOnCurrentQueueStack(const DispatchQueue* queue) {
  return std::find(currentQueues.begin(), currentQueues.end(), queue) != currentQueues.end();
}

}  // namespace plexora::platform::detail

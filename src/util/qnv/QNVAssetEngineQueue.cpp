#include "util/qnv/QNVAssetEngineQueue.h"

namespace plexora {

platform::DispatchQueuePtr QNVAssetMediaStateQueue() {
  static const platform::DispatchQueuePtr queue = platform::DispatchQueue::createSerial(kQNVMediaStateQueueLabel);
  return queue;
}

void QNVAssetDispatchAsyncIfNeeded(bool async, const platform::DispatchQueuePtr& queue,
                                   std::function<void()> callback) {
  if (!callback) return;
  if (async && queue) {
    queue->async(std::move(callback));
  } else {
    callback();
  }
}

}  // namespace plexora

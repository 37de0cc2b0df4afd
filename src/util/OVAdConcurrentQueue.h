// A first-in, first-out queue whose every operation returns at once and does
// its work later on the queue's own serial dispatch queue, in the order the
// operations were called.
//
// Thread safety: every member may be called from any thread; the operations
// of one thread take effect in the order that thread called them. Callbacks
// run on the serial queue, never on the caller's thread.
// Ownership: the elements live in state shared with the queued work, so work
// still queued when the object is destroyed runs safely and then releases
// them. A callback may be empty: the operation's effect on the queue still
// happens.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

// Label of each queue's serial dispatch queue.
inline constexpr const char* kOVAdConcurrentQueueLabel = "com.plexora.ads.util.queue";

template <typename T>
class OVAdConcurrentQueue final {
 public:
  // Gets the head element, or none when the queue is empty.
  using ElementCallback = std::function<void(std::optional<T>)>;
  // Gets every element that was queued, in arrival order.
  using AllElementsCallback = std::function<void(std::vector<T>)>;

  OVAdConcurrentQueue()
      : queue_(platform::DispatchQueue::createSerial(kOVAdConcurrentQueueLabel)),
        storage_(std::make_shared<std::deque<T>>()) {}
  OVAdConcurrentQueue(const OVAdConcurrentQueue&) = delete;
  OVAdConcurrentQueue& operator=(const OVAdConcurrentQueue&) = delete;

  void pushObject(T object) {
    queue_->async([storage = storage_, object = std::move(object)]() mutable {
      storage->push_back(std::move(object));
    });
  }

  // Removes the head element and hands it to `callback`.
  void pop(ElementCallback callback) {
    queue_->async([storage = storage_, callback = std::move(callback)] {
      std::optional<T> head;
      if (!storage->empty()) {
        head = std::move(storage->front());
        storage->pop_front();
      }
      if (callback) {
        callback(std::move(head));
      }
    });
  }

  // Hands the head element to `callback` and leaves it in the queue.
  void peek(ElementCallback callback) {
    queue_->async([storage = storage_, callback = std::move(callback)] {
      std::optional<T> head;
      if (!storage->empty()) {
        head = storage->front();
      }
      if (callback) {
        callback(std::move(head));
      }
    });
  }

  // Empties the queue and hands what it held to `callback`.
  void popAll(AllElementsCallback callback) {
    queue_->async([storage = storage_, callback = std::move(callback)] {
      std::vector<T> all(std::make_move_iterator(storage->begin()), std::make_move_iterator(storage->end()));
      storage->clear();
      if (callback) {
        callback(std::move(all));
      }
    });
  }

 private:
  platform::DispatchQueuePtr queue_;
  // Touched only by work running on queue_.
  std::shared_ptr<std::deque<T>> storage_;
};

}  // namespace plexora

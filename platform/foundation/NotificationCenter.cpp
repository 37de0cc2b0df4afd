#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace plexora::platform {

struct NotificationCenter::Observer {
  ObserverToken token = 0;
  std::string name;
  const void* object = nullptr;
  DispatchQueuePtr queue;

  // Guards `block`; removal empties it, so a delivery still queued on the
  // observer's queue finds nothing to start.
  std::mutex mutex;
  std::shared_ptr<const Block> block;

  bool matches(const std::string& postedName, const void* poster) const {
    return (name.empty() || name == postedName) && (object == nullptr || object == poster);
  }

  // Starts the block unless the observer was removed; the block itself runs
  // unlocked, so it may add or remove observers.
  void deliver(const Notification& notification) {
    std::shared_ptr<const Block> current;
    {
      std::lock_guard lock(mutex);
      current = block;
    }
    if (current && *current) {
      (*current)(notification);
    }
  }

  // Answers the block so the caller can let go of it outside every lock.
  std::shared_ptr<const Block> remove() {
    std::lock_guard lock(mutex);
    return std::move(block);
  }
};

NotificationCenter& NotificationCenter::defaultCenter() {
  // Deliberately leaked: observers on pool threads may post while static
  // destructors run at exit.
  static NotificationCenter* const center = new NotificationCenter;
  return *center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(std::string name, const void* object,
                                                                  DispatchQueuePtr queue, Block block) {
  auto observer = std::make_shared<Observer>();
  observer->name = std::move(name);
  observer->object = object;
  observer->queue = std::move(queue);
  observer->block = std::make_shared<const Block>(std::move(block));
  std::lock_guard lock(mutex_);
  observer->token = nextToken_++;
  observers_.push_back(observer);
  return observer->token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
  std::shared_ptr<Observer> removed;
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(observers_.begin(), observers_.end(),
                              [token](const std::shared_ptr<Observer>& observer) { return observer->token == token; });
    if (found == observers_.end()) {
      return;
    }
    removed = std::move(*found);
    observers_.erase(found);
  }
  // Released here, unlocked: what the block captured may remove observers in
  // its destructor.
  removed->remove();
}

void NotificationCenter::post(const std::string& name, const void* object, Value userInfo) {
  std::vector<std::shared_ptr<Observer>> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& observer : observers_) {
      if (observer->matches(name, object)) {
        matching.push_back(observer);
      }
    }
  }
  if (matching.empty()) {
    return;
  }
  auto notification = std::make_shared<const Notification>(Notification{name, object, std::move(userInfo)});
  for (const auto& observer : matching) {
    if (!observer->queue || observer->queue->isCurrent()) {
      observer->deliver(*notification);
    } else {
      observer->queue->async([observer, notification] { observer->deliver(*notification); });
    }
  }
}

}  // namespace plexora::platform

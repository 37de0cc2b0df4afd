#include "util/cache/OVAdCacheStore.h"

namespace plexora {

std::size_t OVAdCacheStore::totalCost() const {
  std::lock_guard lock(mutex_);
  return totalCost_;
}

OVAdCacheValue OVAdCacheStore::objectForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(key);
  if (found == index_.end()) {
    return {};
  }
  entries_.splice(entries_.end(), entries_, found->second);
  return found->second->object;
}

void OVAdCacheStore::setObject(OVAdCacheValue object, const std::string& key, std::size_t cost) {
  OVAdCacheValue replaced;
  std::vector<OVAdCacheValue> evicted;
  std::lock_guard lock(mutex_);
  if (const auto found = index_.find(key); found != index_.end()) {
    replaced = eraseLocked(found->second);
  }
  if (!object) {
    return;
  }
  entries_.push_back(Entry{key, std::move(object), cost});
  index_.emplace(key, std::prev(entries_.end()));
  totalCost_ += cost;
  evicted = evictLocked();
}

void OVAdCacheStore::removeObjectForKey(const std::string& key) {
  OVAdCacheValue removed;
  std::lock_guard lock(mutex_);
  if (const auto found = index_.find(key); found != index_.end()) {
    removed = eraseLocked(found->second);
  }
}

bool OVAdCacheStore::removeObjectForKeyIfSame(const std::string& key, const OVAdCacheValue& expected) {
  OVAdCacheValue removed;
  std::lock_guard lock(mutex_);
  const auto found = index_.find(key);
  if (found == index_.end() || !found->second->object.isSameObject(expected)) {
    return false;
  }
  removed = eraseLocked(found->second);
  return true;
}

void OVAdCacheStore::removeAllObjects() {
  Entries removed;
  std::lock_guard lock(mutex_);
  removed.swap(entries_);
  index_.clear();
  totalCost_ = 0;
}

OVAdCacheValue OVAdCacheStore::eraseLocked(Entries::iterator entry) {
  OVAdCacheValue object = std::move(entry->object);
  totalCost_ -= entry->cost;
  index_.erase(entry->key);
  entries_.erase(entry);
  return object;
}

std::vector<OVAdCacheValue> OVAdCacheStore::evictLocked() {
  std::vector<OVAdCacheValue> evicted;
  for (auto entry = entries_.begin(); totalCost_ > totalCostLimit_ && entry != entries_.end();) {
    if (entry->cost == 0) {
      ++entry;
      continue;
    }
    const auto next = std::next(entry);
    evicted.push_back(eraseLocked(entry));
    entry = next;
  }
  return evicted;
}

}  // namespace plexora

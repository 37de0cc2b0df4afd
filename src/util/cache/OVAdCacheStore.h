// The in-memory layer of the resource cache: entries by key, each with a
// cost, and a limit on the total cost. When the total goes over the limit the
// least recently used entries that carry a cost are evicted until it fits
// again (an entry whose own cost exceeds the limit is evicted at once).
// Entries of cost 0 are never evicted for space.
//
// Thread safety: every member may be called from any thread.
// Ownership: the store holds its values strongly until they are replaced,
// removed or evicted.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "util/cache/OVAdCacheValue.h"

namespace plexora {

class OVAdCacheStore final {
 public:
  explicit OVAdCacheStore(std::size_t totalCostLimit) : totalCostLimit_(totalCostLimit) {}
  OVAdCacheStore(const OVAdCacheStore&) = delete;
  OVAdCacheStore& operator=(const OVAdCacheStore&) = delete;

  std::size_t totalCostLimit() const { return totalCostLimit_; }
  std::size_t totalCost() const;

  // An empty value when the key holds nothing. Counts as a use.
  OVAdCacheValue objectForKey(const std::string& key);
  // An empty value removes the key.
  void setObject(OVAdCacheValue object, const std::string& key, std::size_t cost);
  void removeObjectForKey(const std::string& key);
  // Removes the entry only while it still holds `expected` itself; answers
  // whether it did.
  bool removeObjectForKeyIfSame(const std::string& key, const OVAdCacheValue& expected);
  void removeAllObjects();

 private:
  struct Entry {
    std::string key;
    OVAdCacheValue object;
    std::size_t cost = 0;
  };
  using Entries = std::list<Entry>;

  // Both hand the values they take out back to the caller, which releases
  // them once the lock is gone: a value's destructor may use the cache.
  OVAdCacheValue eraseLocked(Entries::iterator entry);
  std::vector<OVAdCacheValue> evictLocked();

  const std::size_t totalCostLimit_;
  mutable std::mutex mutex_;
  // Least recently used first.
  Entries entries_;
  std::unordered_map<std::string, Entries::iterator> index_;
  std::size_t totalCost_ = 0;
};

}  // namespace plexora

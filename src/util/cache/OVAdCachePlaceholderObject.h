// The stand-in that a missing resource's key holds while the resource is
// fetched: it downloads the resource once (at most two attempts) and then
// hands it to every block that waited, in order.
//
// The fetch starts on the placeholder's own serial queue and completes
// wherever its download (or, for a video, its asset) completes, without
// holding a thread meanwhile; blocks added while it is under way are held
// back and queued, in order, once it has ended, so they all see its result.
// The waiting blocks run one at a time on that serial queue; the blocks
// themselves are called on the main queue. Once the fetch delivers,
// the key holds the value and the placeholder leaves the cache; when every
// attempt fails the key keeps the placeholder, with no retries left, until
// its last block has run, so a later lookup starts afresh.
//
// Thread safety: every member may be called from any thread.
// Ownership: the cache holds the placeholder under its key; each queued step
// holds it too, so it outlives its cache entry until its last block has run.
// It holds the cache weakly.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "util/cache/OVAdCache.h"

namespace plexora {

class OVPlaceholderObject final : public std::enable_shared_from_this<OVPlaceholderObject> {
 public:
  static constexpr std::int64_t kInitialRetries = 3;

  // Does not fetch until fetchResource().
  static std::shared_ptr<OVPlaceholderObject> create(std::string key, platform::URL url, OVAdCacheFetchType fetchType,
                                                     const std::shared_ptr<OVAdCache>& cache);
  OVPlaceholderObject(const OVPlaceholderObject&) = delete;
  OVPlaceholderObject& operator=(const OVPlaceholderObject&) = delete;

  const std::string& key() const { return key_; }
  const platform::URL& url() const { return url_; }
  OVAdCacheFetchType fetchType() const { return fetchType_; }
  std::int64_t retriesLeft() const { return retriesLeft_.load(); }

  // Queues the fetch; blocks added from now on wait for it to end.
  void fetchResource();
  // Queues the block behind the fetch. It receives what the fetch delivered,
  // else what the key holds by then (a placeholder reads as empty).
  void addCallback(OVAdCache::Block block);
  // Takes the placeholder out of the cache while its key still holds it.
  void cleanupPlaceholder();

 private:
  OVPlaceholderObject(std::string key, platform::URL url, OVAdCacheFetchType fetchType,
                      const std::shared_ptr<OVAdCache>& cache);

  // The fetch itself, started on the queue; it ends with endFetch().
  void fetchResourceBlock();
  // Lets the blocks held back during the fetch go on the queue.
  void endFetch();
  // Queues the block's step: it reads the result and hands it to the block.
  void queueCallbackLocked(OVAdCache::Block block);
  // Consulted before every download attempt: uses up one retry and answers
  // whether an attempt may follow.
  bool retry();
  void finish(OVAdCacheValue delivered);
  // Opens the downloaded video's asset and answers it once loaded, or null
  // when it did not load within kAssetLoadTimeout seconds of the current
  // Clock; answers once, on the thread where the load or the time ended.
  void loadVideoAsset(const platform::URL& fileURL,
                      std::function<void(std::shared_ptr<QNVAssetForCache> asset)> done) const;

  const std::string key_;
  const platform::URL url_;
  const OVAdCacheFetchType fetchType_;
  const std::weak_ptr<OVAdCache> cache_;
  const platform::DispatchQueuePtr underlyingQueue_;
  std::atomic<std::int64_t> retriesLeft_{kInitialRetries};

  std::mutex mutex_;
  bool fetchedResource_ = false;
  bool fetchInProgress_ = false;
  std::vector<OVAdCache::Block> heldCallbacks_;
  OVAdCacheValue delivered_;
  std::size_t pendingCallbacks_ = 0;
};

}  // namespace plexora

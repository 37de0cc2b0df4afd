// The library's resource cache: one in-memory cache (32 MiB of total cost,
// least recently used entries evicted first) with per-entry expiry, over an
// on-disk cache of downloaded data, images and videos (see OVAdCacheFileURL).
//
// A fetch lookup answers what the memory holds; for a missing resource it
// puts a placeholder (OVPlaceholderObject) under the key, which downloads the
// resource once, with one retry, while any number of callers wait for it.
// Entries stored with an expiration are removed by a sweep that runs every
// expiration interval on the background-priority global queue; a memory
// warning empties the memory (the disk stays). The disk cache is wiped whole,
// never trimmed, once it grows past its limit (128 MiB). The check before
// each fetch measures the folder once and from then on adds the files this
// cache's fetches write: walking thousands of files before every download
// cost more than the downloads.
//
// Thread safety: every member may be called from any thread. Fetch-lookup
// blocks run on the main queue, except the immediate empty answer for a key
// whose download already failed, which runs on the caller's thread.
// Ownership: the shared cache lives for the process. The cache owns its
// values, its sweep timer and its memory-warning observer; placeholders hold
// the cache weakly and live until their last waiting block has run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "util/cache/OVAdCacheFetchType.h"
#include "util/cache/OVAdCacheStore.h"
#include "util/cache/OVAdCacheValue.h"

namespace plexora::platform {
class GLContext;
class Image;
}

namespace plexora {

class OVAdCachedObject;
class OVAdImageContext;
class OVAdResourceLoader;
class OVAdTimer;
class OVNativeAd;
class QNVAssetForCache;

class OVAdCache final : public std::enable_shared_from_this<OVAdCache> {
 public:
  // Receives the value, or an empty one.
  using Block = std::function<void(const OVAdCacheValue& value)>;
  using ImageBlock = std::function<void(const std::shared_ptr<platform::Image>& image)>;
  using AssetBlock = std::function<void(const std::shared_ptr<QNVAssetForCache>& asset)>;
  using NativeAds = std::vector<std::shared_ptr<OVNativeAd>>;

  static constexpr double kDefaultExpirationInterval = 10.0;
  static constexpr std::size_t kTotalCostLimit = 33554432;
  static constexpr std::uint64_t kDiskCacheLimit = 134217728;
  // Longest wait for a downloaded video's asset to load.
  static constexpr double kAssetLoadTimeout = 30.0;

  // Downloads through the shared resource loader.
  static std::shared_ptr<OVAdCache> sharedCache();
  // A null loader means the shared one. The sweep timer starts now.
  static std::shared_ptr<OVAdCache> create(double expirationInterval = kDefaultExpirationInterval,
                                           std::shared_ptr<OVAdResourceLoader> resourceLoader = nullptr,
                                           std::uint64_t diskCacheLimit = kDiskCacheLimit);
  ~OVAdCache();
  OVAdCache(const OVAdCache&) = delete;
  OVAdCache& operator=(const OVAdCache&) = delete;

  const std::shared_ptr<OVAdResourceLoader>& resourceLoader() const { return resourceLoader_; }
  std::size_t totalCostLimit() const { return store_.totalCostLimit(); }
  std::uint64_t diskCacheLimit() const { return diskCacheLimit_; }

  // ---- Plain entries ----

  // An entry that expires is answered unwrapped; a placeholder reads as
  // empty. An empty key holds nothing.
  OVAdCacheValue objectForKey(const std::string& key) const;
  OVAdCacheValue objectForKey(const std::string& key, bool filterPlaceholder) const;
  // An empty value removes the key; an empty key stores nothing.
  void setObject(OVAdCacheValue object, const std::string& key, std::size_t cost);
  // `expiration` in seconds since 1970; the entry goes with the first sweep
  // after it.
  void setObjectWithExpiration(OVAdCacheValue object, const std::string& key, double expiration);
  void setObject(OVAdCacheValue object, const std::string& key, std::size_t cost, double expiration);
  // Removes the key while it still holds `expected` itself.
  void removeObjectForKeyIfSame(const std::string& key, const OVAdCacheValue& expected);

  // ---- Fetch lookups ----

  // What the key holds, or nothing; never fetches.
  void objectForKeyWithBlock(const std::string& key, Block block);
  // What the key holds, on the main queue. A key still being fetched adds
  // the block to the fetch (with `callback`); one whose fetch has failed, or
  // without `callback`, answers empty at once on this thread. A missing key
  // with a URL starts a fetch of that type; without a URL, empty on the main
  // queue.
  void objectForKey(const std::string& key, const std::optional<platform::URL>& url, OVAdCacheFetchType fetchType,
                    Block block, bool callback = true);

  // ---- Typed entries (keyed by the URL's text) ----

  std::shared_ptr<platform::Image> imageForURL(const platform::URL& url) const;
  // Fetches the image when it is not in memory.
  void imageForURL(const std::optional<platform::URL>& url, ImageBlock block);
  // Null removes.
  void setImage(std::shared_ptr<platform::Image> image, const platform::URL& url);
  // Fetches the video into the disk cache when its asset is not in memory,
  // and makes the asset of the file.
  void AVAssetForURL(const std::optional<platform::URL>& url, AssetBlock block);
  void setAVAsset(std::shared_ptr<QNVAssetForCache> asset, const platform::URL& url);
  std::shared_ptr<platform::Image> blurredImageForURL(const platform::URL& url) const;
  void setBlurredImage(std::shared_ptr<platform::Image> image, const platform::URL& url);
  // The ads shown by a native scroll view for an ads manager, each named by
  // its address; empty when none were stored.
  NativeAds nativeAdsForScrollView(const void* scrollView, const void* manager) const;
  void setNativeAds(NativeAds nativeAds, const void* scrollView, const void* manager);

  // ---- Image contexts (each made on first use, then kept) ----

  // The software context.
  std::shared_ptr<OVAdImageContext> defaultImageContext();
  // A context on eaglContext(); null without one.
  std::shared_ptr<OVAdImageContext> openGLImageContext();
  // The shared GL context; null when the system cannot make one (asked
  // again on the next call).
  std::shared_ptr<platform::GLContext> eaglContext();

  // ---- Costs ----

  // 4 bytes a point, rows padded to 16 bytes; 0 for null.
  static std::size_t costForImage(const platform::Image* image);
  // The same rule on the pixel extent.
  static std::size_t costForCIImage(const platform::Image* image);
  // Bytes of the video tracks, then the audio tracks: data rate / 8 times
  // seconds, each truncated.
  static std::size_t costForAVAsset(const QNVAssetForCache* asset);

  // ---- Disk and memory ----

  // Bytes the disk cache occupies; 0 when it cannot be measured.
  std::uint64_t diskCacheSize() const;
  // Wipes the disk cache when it exceeds the limit; answers whether it did.
  bool wipeDiskCacheIfNeeded();
  // Counts a file a fetch of this cache has just written into the size the
  // next check compares.
  void noteDiskCacheFileWritten(const platform::URL& fileURL);
  void wipeCache();
  void wipeDiskCache();
  void wipeInMemoryCache();

 private:
  OVAdCache(std::shared_ptr<OVAdResourceLoader> resourceLoader, std::uint64_t diskCacheLimit);

  void start(double expirationInterval);
  // Removes the expired entries that still hold the wrapper found expired.
  void sweep();
  std::string description() const;

  const std::shared_ptr<OVAdResourceLoader> resourceLoader_;
  const std::uint64_t diskCacheLimit_;
  mutable OVAdCacheStore store_;
  // Makes the check for a key and the placement of its placeholder one step.
  std::mutex fetchMutex_;
  // Held across storing an expiring entry and recording it, and across the
  // sweep, so the record always names the wrapper the store holds.
  std::mutex expiryMutex_;
  std::map<std::string, std::weak_ptr<OVAdCachedObject>> objectsToBeExpired_;
  // Held across a check, so concurrent fetches measure the folder once.
  std::mutex diskSizeMutex_;
  // None until the first check measures it, and again after a wipe.
  std::optional<std::uint64_t> knownDiskSize_;
  std::shared_ptr<OVAdTimer> removalTimer_;
  // Guards the three image contexts.
  std::mutex imageContextMutex_;
  std::shared_ptr<OVAdImageContext> defaultImageContext_;
  std::shared_ptr<OVAdImageContext> openGLImageContext_;
  std::shared_ptr<platform::GLContext> eaglContext_;
};

}  // namespace plexora

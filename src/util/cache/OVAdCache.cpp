#include "util/cache/OVAdCache.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Image.h"
#include "platform/ui/PixelBufferPool.h"
#include "util/cache/OVAdCachePlaceholderObject.h"
#include "util/cache/OVAdCachedObject.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/OVAdResourceLoader.h"
#include "util/OVAdTimer.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora {

namespace {

constexpr const char* kReturningMessage = "Returning cached value %s for key %s";
constexpr const char* kSettingMessage = "Setting value %s for key %s of size %lu of cost limit %lu";
constexpr const char* kCheckingExpiryMessage = "Checking if any cached objects have expired...";
constexpr const char* kExpiredMessage = "Object %s expired, removing from cache %s!";
constexpr const char* kMemoryWarningMessage = "Received memory warning, flushing cache...";
constexpr const char* kBlurredImageKeyPrefix = "blurred-";

std::string blurredImageKey(const platform::URL& url) { return kBlurredImageKeyPrefix + url.absoluteString(); }

// Both identities in the key, so that no two pairs share one.
std::string nativeAdsKey(const void* scrollView, const void* manager) {
  char key[64];
  std::snprintf(key, sizeof(key), "native-ads:%p:%p", scrollView, manager);
  return key;
}

}  // namespace

std::shared_ptr<OVAdCache> OVAdCache::sharedCache() {
  // Never torn down: it is used until the process ends.
  static const auto* const cache = new std::shared_ptr<OVAdCache>(create());
  return *cache;
}

std::shared_ptr<OVAdCache> OVAdCache::create(double expirationInterval,
                                             std::shared_ptr<OVAdResourceLoader> resourceLoader,
                                             std::uint64_t diskCacheLimit) {
  if (!resourceLoader) {
    resourceLoader = OVAdResourceLoader::sharedResourceLoader();
  }
  std::shared_ptr<OVAdCache> cache(new OVAdCache(std::move(resourceLoader), diskCacheLimit));
  cache->start(expirationInterval);
  return cache;
}

OVAdCache::OVAdCache(std::shared_ptr<OVAdResourceLoader> resourceLoader, std::uint64_t diskCacheLimit)
    : resourceLoader_(std::move(resourceLoader)), diskCacheLimit_(diskCacheLimit), store_(kTotalCostLimit) {}

void OVAdCache::start(double expirationInterval) {
  std::weak_ptr<OVAdCache> weakSelf = weak_from_this();
  removalTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      expirationInterval, true, platform::DispatchQueue::global(platform::QueuePriority::Background),
      [weakSelf](const std::shared_ptr<OVAdTimer>&) {
        if (const auto self = weakSelf.lock()) {
          self->sweep();
        }
      });
  OVAdNotificationCenter::notificationCenterForObject(shared_from_this())
      ->addNotificationWithName(platform::kApplicationDidReceiveMemoryWarningNotification,
                                [weakSelf](const platform::Notification&) {
                                  if (const auto self = weakSelf.lock()) {
                                    OV_LOG(kOVAdLogLevelDebug, kMemoryWarningMessage);
                                    self->wipeInMemoryCache();
                                    // The freed images' pixels too.
                                    platform::PixelBufferPool::shared().clear();
                                  }
                                });
}

OVAdCache::~OVAdCache() {
  OVAdNotificationCenter::removeAllObserversForObject(this);
  if (removalTimer_) {
    removalTimer_->invalidate();
  }
}

std::string OVAdCache::description() const {
  char text[48];
  std::snprintf(text, sizeof(text), "<OVAdCache: %p>", static_cast<const void*>(this));
  return text;
}

OVAdCacheValue OVAdCache::objectForKey(const std::string& key) const { return objectForKey(key, true); }

OVAdCacheValue OVAdCache::objectForKey(const std::string& key, bool filterPlaceholder) const {
  if (key.empty()) {
    return {};
  }
  OVAdCacheValue value = store_.objectForKey(key);
  if (const auto wrapper = value.as<OVAdCachedObject>()) {
    value = wrapper->object();
  } else if (filterPlaceholder && value.as<OVPlaceholderObject>()) {
    value = {};
  }
  OV_LOG(kOVAdLogLevelVerbose, kReturningMessage, value.description().c_str(), key.c_str());
  return value;
}

void OVAdCache::setObject(OVAdCacheValue object, const std::string& key, std::size_t cost) {
  if (key.empty()) {
    return;
  }
  if (!object) {
    store_.removeObjectForKey(key);
    return;
  }
  OV_LOG(kOVAdLogLevelVerbose, kSettingMessage, object.description().c_str(), key.c_str(),
         static_cast<unsigned long>(cost), static_cast<unsigned long>(store_.totalCostLimit()));
  store_.setObject(std::move(object), key, cost);
}

void OVAdCache::setObjectWithExpiration(OVAdCacheValue object, const std::string& key, double expiration) {
  setObject(std::move(object), key, 0, expiration);
}

void OVAdCache::setObject(OVAdCacheValue object, const std::string& key, std::size_t cost, double expiration) {
  if (key.empty()) {
    return;
  }
  auto wrapper = std::make_shared<OVAdCachedObject>(std::move(object), expiration);
  std::lock_guard lock(expiryMutex_);
  setObject(wrapper, key, cost);
  objectsToBeExpired_[key] = wrapper;
}

void OVAdCache::removeObjectForKeyIfSame(const std::string& key, const OVAdCacheValue& expected) {
  store_.removeObjectForKeyIfSame(key, expected);
}

void OVAdCache::sweep() {
  // Released after the lock: a value's destructor may use the cache.
  std::vector<std::shared_ptr<OVAdCachedObject>> expired;
  std::lock_guard lock(expiryMutex_);
  if (objectsToBeExpired_.empty()) {
    return;
  }
  const double now = platform::Clock::current()->wallTime();
  OV_LOG(kOVAdLogLevelVerbose, kCheckingExpiryMessage);
  for (auto record = objectsToBeExpired_.begin(); record != objectsToBeExpired_.end();) {
    auto wrapper = record->second.lock();
    if (wrapper && wrapper->expiration() >= now) {
      ++record;
      continue;
    }
    if (wrapper) {
      OV_LOG(kOVAdLogLevelDebug, kExpiredMessage, wrapper->object().description().c_str(), description().c_str());
      store_.removeObjectForKeyIfSame(record->first, wrapper);
      expired.push_back(std::move(wrapper));
    }
    record = objectsToBeExpired_.erase(record);
  }
}

void OVAdCache::wipeInMemoryCache() { store_.removeAllObjects(); }

void OVAdCache::wipeCache() {
  wipeDiskCache();
  wipeInMemoryCache();
}

// ---- Typed entries ----

std::shared_ptr<platform::Image> OVAdCache::imageForURL(const platform::URL& url) const {
  return objectForKey(url.absoluteString()).as<platform::Image>();
}

void OVAdCache::setImage(std::shared_ptr<platform::Image> image, const platform::URL& url) {
  const std::size_t cost = costForImage(image.get());
  setObject(std::move(image), url.absoluteString(), cost);
}

void OVAdCache::setAVAsset(std::shared_ptr<QNVAssetForCache> asset, const platform::URL& url) {
  const std::size_t cost = costForAVAsset(asset.get());
  setObject(std::move(asset), url.absoluteString(), cost);
}

std::shared_ptr<platform::Image> OVAdCache::blurredImageForURL(const platform::URL& url) const {
  return objectForKey(blurredImageKey(url)).as<platform::Image>();
}

void OVAdCache::setBlurredImage(std::shared_ptr<platform::Image> image, const platform::URL& url) {
  const std::size_t cost = costForCIImage(image.get());
  setObject(std::move(image), blurredImageKey(url), cost);
}

OVAdCache::NativeAds OVAdCache::nativeAdsForScrollView(const void* scrollView, const void* manager) const {
  const auto nativeAds = objectForKey(nativeAdsKey(scrollView, manager)).as<const NativeAds>();
  return nativeAds ? *nativeAds : NativeAds();
}

void OVAdCache::setNativeAds(NativeAds nativeAds, const void* scrollView, const void* manager) {
  setObject(std::make_shared<const NativeAds>(std::move(nativeAds)), nativeAdsKey(scrollView, manager), 0);
}

}  // namespace plexora

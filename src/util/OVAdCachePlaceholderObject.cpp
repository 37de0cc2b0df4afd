#include "util/OVAdCachePlaceholderObject.h"

#include <condition_variable>
#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/ui/Image.h"
#include "util/OVAdCacheFileURL.h"
#include "util/OVAdLogger.h"
#include "util/OVAdResourceLoader.h"
#include "util/compatibility/OVAdCreateVideoAsset.h"
#include "util/qnv/QNVAssetForCache.h"

namespace plexora {

namespace {

constexpr const char* kQueueLabel = "com.plexora.ads.cache.placeholder";
constexpr const char* kRetriesLeftMessage = "Retries left: %ld";
constexpr const char* kTracksKey = "tracks";
constexpr const char* kDurationKey = "duration";
constexpr const char* kPlayableKey = "playable";

}  // namespace

std::shared_ptr<OVPlaceholderObject> OVPlaceholderObject::create(std::string key, platform::URL url,
                                                                 OVAdCacheFetchType fetchType,
                                                                 const std::shared_ptr<OVAdCache>& cache) {
  return std::shared_ptr<OVPlaceholderObject>(
      new OVPlaceholderObject(std::move(key), std::move(url), fetchType, cache));
}

OVPlaceholderObject::OVPlaceholderObject(std::string key, platform::URL url, OVAdCacheFetchType fetchType,
                                         const std::shared_ptr<OVAdCache>& cache)
    : key_(std::move(key)),
      url_(std::move(url)),
      fetchType_(fetchType),
      cache_(cache),
      underlyingQueue_(platform::DispatchQueue::createSerial(kQueueLabel)) {}

void OVPlaceholderObject::fetchResource() {
  underlyingQueue_->async([self = shared_from_this()] { self->fetchResourceBlock(); });
}

void OVPlaceholderObject::addCallback(OVAdCache::Block block) {
  {
    std::lock_guard lock(mutex_);
    ++pendingCallbacks_;
  }
  underlyingQueue_->async([self = shared_from_this(), block = std::move(block)] {
    OVAdCacheValue value;
    {
      std::lock_guard lock(self->mutex_);
      value = self->delivered_;
    }
    if (!value) {
      if (const auto cache = self->cache_.lock()) {
        value = cache->objectForKey(self->key_, /*filterPlaceholder=*/true);
      }
    }
    bool last = false;
    {
      std::lock_guard lock(self->mutex_);
      last = --self->pendingCallbacks_ == 0;
    }
    // Out of the cache before the last block runs: whoever that block asks
    // next starts a fresh fetch rather than meeting a spent placeholder.
    if (last) {
      self->cleanupPlaceholder();
    }
    if (block) {
      platform::DispatchQueue::main()->async([block, value] { block(value); });
    }
  });
}

void OVPlaceholderObject::cleanupPlaceholder() {
  if (const auto cache = cache_.lock()) {
    cache->removeObjectForKeyIfSame(key_, OVAdCacheValue(shared_from_this()));
  }
}

bool OVPlaceholderObject::retry() {
  const std::int64_t left = --retriesLeft_;
  OV_LOG(kOVAdLogLevelVerbose, kRetriesLeftMessage, static_cast<long>(left));
  return left >= 1;
}

void OVPlaceholderObject::finish(OVAdCacheValue delivered) {
  {
    std::lock_guard lock(mutex_);
    fetchedResource_ = true;
    delivered_ = std::move(delivered);
  }
  cleanupPlaceholder();
}

void OVPlaceholderObject::fetchResourceBlock() {
  {
    std::lock_guard lock(mutex_);
    if (fetchedResource_) {
      return;
    }
  }
  const auto cache = cache_.lock();
  if (!cache || fetchType_ == OVAdCacheFetchType::None) {
    return;
  }
  cache->wipeDiskCacheIfNeeded();
  const std::optional<platform::URL> fileURL = OVAdCacheFileURL(fetchType_, url_);
  if (!fileURL) {
    return;
  }
  const auto retryBlock = [this] { return retry(); };
  OVAdResourceLoader& loader = *cache->resourceLoader();
  switch (fetchType_) {
    case OVAdCacheFetchType::Data:
      loader.fetchDataAtURL(url_, *fileURL, retryBlock,
                            [this, &cache](std::shared_ptr<const platform::Bytes> data, bool) {
                              if (data && !key_.empty()) {
                                cache->setObject(data, key_, 0);
                              }
                              finish(std::move(data));
                            });
      break;
    case OVAdCacheFetchType::Image:
      loader.fetchImageAtURL(url_, *fileURL, retryBlock, [this, &cache](std::shared_ptr<platform::Image> image, bool) {
        if (image) {
          cache->setImage(image, url_);
        }
        finish(std::move(image));
      });
      break;
    case OVAdCacheFetchType::Video:
      loader.fetchVideoAtURL(url_, *fileURL, retryBlock,
                             [this](const platform::URL& videoFileURL, bool) { finish(loadVideoAsset(videoFileURL)); });
      break;
    case OVAdCacheFetchType::None:
      break;
  }
}

std::shared_ptr<QNVAssetForCache> OVPlaceholderObject::loadVideoAsset(const platform::URL& fileURL) const {
  struct Load {
    std::mutex mutex;
    std::condition_variable changed;
    bool loaded = false;
    bool timedOut = false;
  };
  auto load = std::make_shared<Load>();
  std::shared_ptr<QNVAssetForCache> asset = OVAdCreateVideoAsset(fileURL, /*isFile=*/true);
  asset->loadValuesAsynchronouslyForKeys({kTracksKey, kDurationKey, kPlayableKey},
                                         [load, weakAsset = std::weak_ptr(asset), weakCache = cache_, url = url_] {
                                           const auto loadedAsset = weakAsset.lock();
                                           const auto cache = weakCache.lock();
                                           if (loadedAsset && cache) {
                                             cache->setAVAsset(loadedAsset, url);
                                           }
                                           std::lock_guard lock(load->mutex);
                                           load->loaded = true;
                                           load->changed.notify_all();
                                         });

  const auto clock = platform::Clock::current();
  const platform::Clock::WakeupId wakeup =
      clock->scheduleWakeup(clock->monotonicTime() + OVAdCache::kAssetLoadTimeout, [load] {
        std::lock_guard lock(load->mutex);
        load->timedOut = true;
        load->changed.notify_all();
      });
  std::unique_lock lock(load->mutex);
  load->changed.wait(lock, [&] { return load->loaded || load->timedOut; });
  clock->cancelWakeup(wakeup);
  return load->loaded ? asset : nullptr;
}

}  // namespace plexora

#include "util/cache/OVAdCachePlaceholderObject.h"

#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/ui/Image.h"
#include "util/cache/OVAdCacheFileURL.h"
#include "util/OVAdLogger.h"
#include "util/OVAdResourceLoader.h"
#include "util/compatibility/OVAdCreateVideoAsset.h"
#include "util/qnv/asset/QNVAssetForCache.h"

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
  {
    std::lock_guard lock(mutex_);
    fetchInProgress_ = true;
  }
  underlyingQueue_->async([self = shared_from_this()] { self->fetchResourceBlock(); });
}

void OVPlaceholderObject::addCallback(OVAdCache::Block block) {
  std::lock_guard lock(mutex_);
  ++pendingCallbacks_;
  if (fetchInProgress_) {
    heldCallbacks_.push_back(std::move(block));
    return;
  }
  queueCallbackLocked(std::move(block));
}

void OVPlaceholderObject::endFetch() {
  std::lock_guard lock(mutex_);
  fetchInProgress_ = false;
  // Queued under the lock, so a block added meanwhile cannot overtake them.
  for (OVAdCache::Block& block : heldCallbacks_) {
    queueCallbackLocked(std::move(block));
  }
  heldCallbacks_.clear();
}

void OVPlaceholderObject::queueCallbackLocked(OVAdCache::Block block) {
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
  bool alreadyFetched = false;
  {
    std::lock_guard lock(mutex_);
    alreadyFetched = fetchedResource_;
  }
  const auto cache = cache_.lock();
  const std::optional<platform::URL> fileURL =
      cache && fetchType_ != OVAdCacheFetchType::None ? OVAdCacheFileURL(fetchType_, url_) : std::nullopt;
  if (alreadyFetched || !fileURL) {
    endFetch();
    return;
  }
  cache->wipeDiskCacheIfNeeded();
  const auto self = shared_from_this();
  auto retryBlock = [self] { return self->retry(); };
  auto finished = [self](bool) { self->endFetch(); };
  OVAdResourceLoader& loader = *cache->resourceLoader();
  switch (fetchType_) {
    case OVAdCacheFetchType::Data:
      loader.fetchDataAtURL(
          url_, *fileURL, retryBlock,
          [self, cache, file = *fileURL](std::shared_ptr<const platform::Bytes> data, bool downloaded) {
            if (downloaded) {
              cache->noteDiskCacheFileWritten(file);
            }
            if (data && !self->key_.empty()) {
              cache->setObject(data, self->key_, 0);
            }
            self->finish(std::move(data));
          },
          finished);
      break;
    case OVAdCacheFetchType::Image:
      loader.fetchImageAtURL(
          url_, *fileURL, retryBlock,
          [self, cache, file = *fileURL](std::shared_ptr<platform::Image> image, bool downloaded) {
            if (downloaded) {
              cache->noteDiskCacheFileWritten(file);
            }
            if (image) {
              cache->setImage(image, self->url_);
            }
            self->finish(std::move(image));
          },
          finished);
      break;
    case OVAdCacheFetchType::Video: {
      // The fetch ends once the delivered file's asset has loaded (or not).
      auto videoFileURL = std::make_shared<std::optional<platform::URL>>();
      loader.fetchVideoAtURL(
          url_, *fileURL, retryBlock,
          [cache, videoFileURL](const platform::URL& fileURL, bool downloaded) {
            if (downloaded) {
              cache->noteDiskCacheFileWritten(fileURL);
            }
            *videoFileURL = fileURL;
          },
          [self, videoFileURL](bool delivered) {
            if (!delivered || !*videoFileURL) {
              self->endFetch();
              return;
            }
            self->loadVideoAsset(**videoFileURL, [self](std::shared_ptr<QNVAssetForCache> asset) {
              self->finish(std::move(asset));
              self->endFetch();
            });
          });
      break;
    }
    case OVAdCacheFetchType::None:
      break;
  }
}

void OVPlaceholderObject::loadVideoAsset(const platform::URL& fileURL,
                                         std::function<void(std::shared_ptr<QNVAssetForCache> asset)> done) const {
  // Whichever of the load and the time limit comes first answers. Until
  // then the asset is held here (its load holds this state in turn).
  struct Load {
    using Answer = std::function<void(std::shared_ptr<QNVAssetForCache>)>;
    std::mutex mutex;
    Answer done;
    std::shared_ptr<QNVAssetForCache> asset;
    std::shared_ptr<platform::Clock> clock;
    platform::Clock::WakeupId wakeup = 0;

    std::pair<Answer, std::shared_ptr<QNVAssetForCache>> take() {
      std::lock_guard lock(mutex);
      return {std::exchange(done, nullptr), std::exchange(asset, nullptr)};
    }
  };
  auto load = std::make_shared<Load>();
  load->done = std::move(done);
  load->asset = OVAdCreateVideoAsset(fileURL, /*isFile=*/true);
  load->clock = platform::Clock::current();
  const std::shared_ptr<QNVAssetForCache> asset = load->asset;
  {
    // Held while scheduling, so a load that completes at once finds the
    // wakeup to cancel.
    std::lock_guard lock(load->mutex);
    load->wakeup = load->clock->scheduleWakeup(load->clock->monotonicTime() + OVAdCache::kAssetLoadTimeout, [load] {
      if (const auto answer = load->take().first) {
        answer(nullptr);
      }
    });
  }
  asset->loadValuesAsynchronouslyForKeys(
      {kTracksKey, kDurationKey, kPlayableKey}, [load, weakCache = cache_, url = url_] {
        auto [answer, loadedAsset] = load->take();
        if (!answer) {
          return;
        }
        platform::Clock::WakeupId wakeup = 0;
        {
          std::lock_guard lock(load->mutex);
          wakeup = load->wakeup;
        }
        load->clock->cancelWakeup(wakeup);
        if (const auto cache = weakCache.lock()) {
          cache->setAVAsset(loadedAsset, url);
        }
        answer(std::move(loadedAsset));
      });
}

}  // namespace plexora

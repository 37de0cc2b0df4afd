// The fetch lookups of the resource cache: answer what memory holds, join a
// fetch in progress, or start one.
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Image.h"
#include "util/cache/OVAdCache.h"
#include "util/cache/OVAdCachePlaceholderObject.h"
#include "util/qnv/asset/QNVAssetForCache.h"

namespace plexora {

namespace {

void deliverOnMainQueue(OVAdCache::Block block, OVAdCacheValue value) {
  if (!block) {
    return;
  }
  platform::DispatchQueue::main()->async([block = std::move(block), value = std::move(value)] { block(value); });
}

std::string keyOf(const std::optional<platform::URL>& url) { return url ? url->absoluteString() : std::string(); }

}  // namespace

void OVAdCache::objectForKeyWithBlock(const std::string& key, Block block) {
  objectForKey(key, std::nullopt, OVAdCacheFetchType::None, std::move(block));
}

void OVAdCache::objectForKey(const std::string& key, const std::optional<platform::URL>& url,
                             OVAdCacheFetchType fetchType, Block block, bool callback) {
  OVAdCacheValue found;
  std::shared_ptr<OVPlaceholderObject> started;
  {
    std::lock_guard lock(fetchMutex_);
    found = objectForKey(key, /*filterPlaceholder=*/false);
    if (!found && url) {
      started = OVPlaceholderObject::create(key, *url, fetchType, shared_from_this());
      // In place before the fetch starts, so a fetch that finishes at once
      // finds it and leaves the value under the key.
      setObject(started, key, 0);
    }
  }
  if (started) {
    started->fetchResource();
    started->addCallback(std::move(block));
    return;
  }
  if (const auto placeholder = found.as<OVPlaceholderObject>()) {
    if (placeholder->retriesLeft() > 0 && callback) {
      placeholder->addCallback(std::move(block));
    } else if (block) {
      block({});
    }
    return;
  }
  deliverOnMainQueue(std::move(block), std::move(found));
}

void OVAdCache::imageForURL(const std::optional<platform::URL>& url, ImageBlock block) {
  objectForKey(keyOf(url), url, OVAdCacheFetchType::Image, [block = std::move(block)](const OVAdCacheValue& value) {
    if (block) {
      block(value.as<platform::Image>());
    }
  });
}

void OVAdCache::AVAssetForURL(const std::optional<platform::URL>& url, AssetBlock block) {
  objectForKey(keyOf(url), url, OVAdCacheFetchType::Video, [block = std::move(block)](const OVAdCacheValue& value) {
    if (block) {
      block(value.as<QNVAssetForCache>());
    }
  });
}

}  // namespace plexora

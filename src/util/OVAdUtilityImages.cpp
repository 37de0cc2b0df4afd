// Images and video through the shared resource cache, and Gaussian blur.
#include <mutex>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/Blur.h"
#include "platform/ui/Image.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr const char* kImageLoadQueueLabel = "com.plexora.ads.image.load.serial";

// The blur radius of an image: its width in points over this.
constexpr double kBlurRadiusDivisor = 30.0;

// Collects the answers of several loads, which may arrive on any thread.
struct ImageResults {
  std::mutex mutex;
  OVAdUtility::ImagesByURL images;

  void add(const std::string& url, const std::shared_ptr<platform::Image>& image) {
    if (!image) return;
    std::lock_guard lock(mutex);
    images[url] = image;
  }
  OVAdUtility::ImagesByURL take() {
    std::lock_guard lock(mutex);
    return std::move(images);
  }
};

}  // namespace

void OVAdUtility::loadRemoteImageWithURL(const std::optional<platform::URL>& url, ImageBlock block, bool retry) {
  loadRemoteImageWithURL(url, std::move(block), nullptr, retry);
}

void OVAdUtility::loadRemoteImageWithURL(const std::optional<platform::URL>& url, ImageBlock block,
                                         const std::shared_ptr<platform::DispatchQueue>& queue, bool retry) {
  OVAdCache::sharedCache()->imageForURL(url, std::move(block));
}

void OVAdUtility::loadRemoteImagesWithURLs(const std::vector<platform::URL>& urls, ImagesBlock block, bool retry) {
  const auto queue = platform::DispatchQueue::createSerial(kImageLoadQueueLabel);
  const auto group = std::make_shared<platform::DispatchGroup>();
  const auto results = std::make_shared<ImageResults>();
  for (const auto& url : urls) {
    group->enter();
    loadRemoteImageWithURL(
        url,
        [group, results, key = url.absoluteString()](const std::shared_ptr<platform::Image>& image) {
          results->add(key, image);
          group->leave();
        },
        queue, true);
  }
  group->notify(platform::DispatchQueue::main(), [results, block = std::move(block)] {
    if (block) block(results->take());
  });
}

void OVAdUtility::loadRemoteVideoWithURL(const std::optional<platform::URL>& url, VideoBlock block) {
  OVAdCache::sharedCache()->AVAssetForURL(url, std::move(block));
}

std::shared_ptr<platform::Image> OVAdUtility::addGaussianBlurToImage(const std::shared_ptr<platform::Image>& image) {
  if (!image) return nullptr;
  return blurImage(image, image->size().width / kBlurRadiusDivisor);
}

std::shared_ptr<platform::Image> OVAdUtility::blurImage(const std::shared_ptr<platform::Image>& image, double radius) {
  if (!image) return nullptr;
  return platform::gaussianBlur(*image, radius);
}

void OVAdUtility::addGaussianBlurToImages(const ImagesByURL& images, ImagesBlock block) {
  const auto group = std::make_shared<platform::DispatchGroup>();
  const auto results = std::make_shared<ImageResults>();
  for (const auto& [key, image] : images) {
    group->async(platform::DispatchQueue::main(), [results, key = key, image = image] {
      const auto cache = OVAdCache::sharedCache();
      const auto url = platform::URL::parse(key);
      auto blurred = url ? cache->blurredImageForURL(*url) : nullptr;
      if (!blurred) {
        blurred = addGaussianBlurToImage(image);
        if (url && blurred) cache->setBlurredImage(blurred, *url);
      }
      results->add(key, blurred);
    });
  }
  group->notify(platform::DispatchQueue::main(), [results, block = std::move(block)] {
    if (block) block(results->take());
  });
}

}  // namespace plexora

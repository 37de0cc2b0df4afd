#include "plexora/OVAdImage.h"

#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdUtility.h"

namespace plexora {

std::shared_ptr<OVAdImage> OVAdImage::init() { return initWithURL(std::nullopt, 0, 0); }

std::shared_ptr<OVAdImage> OVAdImage::initWithURL(std::optional<platform::URL> url, std::int64_t width,
                                                  std::int64_t height) {
  return std::make_shared<OVAdImage>(std::move(url), width, height);
}

OVAdImage::OVAdImage(std::optional<platform::URL> url, std::int64_t width, std::int64_t height)
    : url_(std::move(url)), width_(width), height_(height) {}

void OVAdImage::preloadImageAsync() const { OVAdUtility::loadRemoteImageWithURL(url_, nullptr); }

void OVAdImage::loadImageAsyncWithBlock(ImageBlock block) const {
  OVAdUtility::loadRemoteImageWithURL(url_, std::move(block));
}

void OVAdImage::loadImagesAsync(const std::vector<std::shared_ptr<OVAdImage>>& images, BatchBlock block) {
  loadImagesAsyncWithBlurredImages(images, false, std::move(block));
}

void OVAdImage::loadImagesAsyncWithBlurredImages(const std::vector<std::shared_ptr<OVAdImage>>& images,
                                                 bool withContext, BatchBlock block) {
  std::vector<platform::URL> urls;
  for (const auto& image : images) {
    // An image without a location cannot load; it simply stays out of the
    // answer.
    if (image && image->url()) urls.push_back(*image->url());
  }
  OVAdUtility::loadRemoteImagesWithURLs(
      urls,
      [images, withContext, block = std::move(block)](const OVAdUtility::ImagesByURL& loaded) {
        ImagesByRole byRole;
        ImagesByURL covers;
        for (const auto& image : images) {
          if (!image || !image->url()) continue;
          const auto found = loaded.find(image->url()->absoluteString());
          if (found == loaded.end()) continue;
          byRole[image->type()] = found->second;
          if (image->type() == kOVAdImageTypeCover) covers[found->first] = found->second;
        }
        if (!withContext) {
          if (block) block(byRole, {});
          return;
        }
        OVAdUtility::addGaussianBlurToImages(covers, [byRole, block](const OVAdUtility::ImagesByURL& blurred) {
          if (block) block(byRole, blurred);
        });
      },
      true);
}

}  // namespace plexora

#include "adapters/views/nativead/image/OVAdImageSoftwareRenderer.h"

#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"

namespace plexora {

std::shared_ptr<OVAdImageSoftwareRenderer> OVAdImageSoftwareRenderer::create() {
  auto renderer = std::make_shared<OVAdImageSoftwareRenderer>();
  renderer->ciContext_ = OVAdConfigManager::sharedManager()->useCachedImageContextForSoftwareRenderer()
                             ? OVAdCache::sharedCache()->defaultImageContext()
                             : OVAdImageContext::create();
  renderer->internalImageView_ = std::make_shared<platform::ImageView>();
  renderer->internalImageView_->setBackgroundColor(platform::Color::clear());
  return renderer;
}

void OVAdImageSoftwareRenderer::renderCIImage(std::shared_ptr<platform::Image> image) {
  ciImage_ = std::move(image);
  std::shared_ptr<platform::Image> shown;
  if (ciImage_ && ciContext_) {
    shown = ciContext_->createImage(*ciImage_, platform::Rect(0, 0, ciImage_->pixelWidth(), ciImage_->pixelHeight()));
  }
  internalImageView_->setImage(std::move(shown));
}

}  // namespace plexora

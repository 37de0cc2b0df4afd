#include "adapters/views/nativead/OVAdMultiProductCell.h"

#include <optional>

#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Image.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdImage.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdUtility.h"

namespace plexora {

std::shared_ptr<OVAdMultiProductCell> OVAdMultiProductCell::create(platform::Rect frame) {
  auto cell = std::make_shared<OVAdMultiProductCell>();
  cell->platform::View::setFrame(frame);
  cell->build();
  return cell;
}

std::shared_ptr<OVAdMultiProductCell> OVAdMultiProductCell::self() {
  return std::static_pointer_cast<OVAdMultiProductCell>(sharedView());
}

void OVAdMultiProductCell::build() {
  const auto cell = self();
  if (auto imageView = OVAdBlurredImageView::create()) {
    imageView->setDelegate(std::weak_ptr<OVAdBlurredImageViewDelegate>(cell));
    addSubview(imageView);
    imageView_ = imageView;
  }
  const std::weak_ptr<OVAdMultiProductCell> weakCell = cell;
  addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weakCell](platform::GestureRecognizer& tap) {
    if (tap.state() != platform::GestureRecognizerState::Ended) return;
    if (const auto strong = weakCell.lock()) strong->gestureRecognizerTappedCell(tap);
  }));
  viewabilityValidator_ = OVAdViewabilityValidator::initWithView(cell, kMinViewabilityPercentage, true);
  if (viewabilityValidator_) {
    viewabilityValidator_->setDelegate(std::weak_ptr<OVAdViewabilityValidatorDelegate>(cell));
    viewabilityValidator_->scheduleViewabilityCheck();
  }
}

void OVAdMultiProductCell::setContent(const std::shared_ptr<OVNativeAdMultiProductDataModel>& content) {
  const bool changed = content != content_.lock();
  content_ = content;
  if (changed) updateView(true);
}

void OVAdMultiProductCell::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVAdMultiProductCell::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

void OVAdMultiProductCell::updateView(bool changed) {
  if (!changed) return;
  loadImage();
  const auto imageView = this->imageView();
  if (imageView) imageView->setFrame(bounds());
  const double alpha = debugMode_ ? kDebugAlpha : 1.0;
  setAlpha(alpha);
  if (imageView) imageView->setAlpha(alpha);
}

namespace {

// The blurred copy of the image at `url`: blurring is costly and every
// frame change of the carousel makes new cells that load the same images
// again, so the copy is kept in the ad cache beside the media view's.
std::shared_ptr<platform::Image> blurredCopy(const std::shared_ptr<platform::Image>& image,
                                             const std::optional<platform::URL>& url) {
  const auto cache = OVAdCache::sharedCache();
  if (url) {
    if (auto kept = cache->blurredImageForURL(*url)) return kept;
  }
  auto blurred = OVAdUtility::addGaussianBlurToImage(image);
  if (url && blurred) cache->setBlurredImage(blurred, *url);
  return blurred;
}

}  // namespace

OVAdMultiProductCell::~OVAdMultiProductCell() {
  // A load still under way is of no use to anyone now.
  ++*currentImageLoad_;
}

void OVAdMultiProductCell::loadImage() {
  const auto imageView = this->imageView();
  if (imageView && (imageView->image() || imageView->blurredImage())) {
    imageView->setImage(nullptr);
    imageView->setBlurredImage(nullptr);
  }
  const auto product = content();
  const auto image = product ? product->image() : nullptr;
  const std::optional<platform::URL> url = image ? image->url() : std::nullopt;
  const std::uint64_t load = ++*currentImageLoad_;
  const std::weak_ptr<OVAdMultiProductCell> weakCell = self();
  const std::weak_ptr<OVAdBlurredImageView> weakImageView = imageView;
  using Image = std::shared_ptr<platform::Image>;
  OVAdUtility::loadRemoteImageWithURL(url, [weakCell, weakImageView, load, url, current = currentImageLoad_](
                                               const Image& loaded) {
    const auto show = [weakCell, weakImageView, load](Image image, Image blurred) {
      platform::DispatchQueue::main()->async([weakCell, weakImageView, load, image, blurred] {
        const auto cell = weakCell.lock();
        if (!cell || load != cell->currentImageLoad_->load()) return;
        if (image) {
          if (const auto imageView = weakImageView.lock()) {
            imageView->setImage(image);
            imageView->setBlurredImage(blurred);
          }
        }
        cell->imageLoaded();
      });
    };
    // Nothing to blur: the cell stays empty, and says it is done.
    if (!loaded) {
      show(nullptr, nullptr);
      return;
    }
    platform::DispatchQueue::global()->async([loaded, show, url, current, load] {
      // The cell went (a frame change of the carousel replaces every cell)
      // or loads again: this image would never be shown, so it costs no
      // blur, which would keep the shared workers from other work.
      if (current->load() != load) return;
      show(loaded, blurredCopy(loaded, url));
    });
  });
}

void OVAdMultiProductCell::imageLoaded() {
  if (const auto listener = delegate()) listener->multiProductCellLoaded(self());
}

void OVAdMultiProductCell::gestureRecognizerTappedCell(platform::GestureRecognizer& recognizer) {
  const auto window = this->window();
  if (!window) return;
  const platform::Rect rect = window->convertRectFromView(bounds(), this);
  dispatchClickedWithPosition(recognizer.locationInView(this), rect);
}

void OVAdMultiProductCell::dispatchClickedWithPosition(platform::Point position, platform::Rect rect) {
  if (const auto listener = delegate()) listener->multiProductCellClicked(self(), position, rect);
}

bool OVAdMultiProductCell::viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>&,
                                                OVAdViewabilityStatus status) {
  if (status != OVAdViewabilityStatus::Viewable) return false;
  if (const auto listener = delegate()) listener->multiProductCellVisible(self());
  return true;
}

void OVAdMultiProductCell::updateCellWithData(const std::shared_ptr<OVAdDataModel>& data) {
  setContent(std::dynamic_pointer_cast<OVNativeAdMultiProductDataModel>(data));
}

void OVAdMultiProductCell::blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>&) {}

}  // namespace plexora

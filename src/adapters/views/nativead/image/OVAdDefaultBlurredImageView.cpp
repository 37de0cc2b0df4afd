#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <string>

#include "adapters/views/nativead/image/OVAdImageOpenGLRenderer.h"
#include "adapters/views/nativead/image/OVAdImageSoftwareRenderer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "plexora/OVAdSettings.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdDevice.h"
#include "util/OVAdLogger.h"

namespace plexora {
namespace {

constexpr const char* kClassName = "OVAdBlurredImageView";
constexpr const char* kUsingOpenGLMessage = "OVAdBlurredImageView using OpenGL renderer...";
constexpr const char* kUsingSoftwareMessage = "OVAdBlurredImageView using software renderer...";
constexpr const char* kNeedsBlurringMessage =
    "<%s: %p> has extra space and will blur its image to fill the space. Frame ratio: %f (%s), Image ratio: %f "
    "(%s).";

// This platform has no Metal device: the choice never falls on Metal.
constexpr bool kMetalDevicePresent = false;

// Ratios closer than this, relative to their sum, count as the same.
constexpr double kAspectRatioTolerance = 0.025;
// Points the image overlaps the backdrop on each side that meets it, so no
// seam shows between them.
constexpr double kBackdropOverlap = 2.0;
constexpr std::int64_t kHardwareRenderingRestrictedDeviceModel = 6;

bool nearlyEqual(double a, double b, double epsilon) {
  if (a == b) return true;
  const double difference = std::abs(a - b);
  constexpr double smallestNormal = std::numeric_limits<double>::min();
  if (a != 0 && b != 0 && difference >= smallestNormal) {
    return difference / (std::abs(a) + std::abs(b)) < epsilon;
  }
  return difference < epsilon * smallestNormal;
}

// Only a ratio of two finite positive sides compares.
double aspectRatio(platform::Size size) {
  const double ratio = size.width / size.height;
  return std::isfinite(ratio) && ratio > 0 ? ratio : std::numeric_limits<double>::quiet_NaN();
}

std::string sizeString(platform::Size size) {
  char text[64];
  std::snprintf(text, sizeof text, "{%g, %g}", size.width, size.height);
  return text;
}

}  // namespace

OVAdBlurredImageView::Maker& OVAdBlurredImageView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([]() -> std::shared_ptr<OVAdBlurredImageView> { return OVAdDefaultBlurredImageView::create(); });
  });
  return instance;
}

std::shared_ptr<OVAdDefaultBlurredImageView> OVAdDefaultBlurredImageView::create() { return create(nullptr, nullptr); }

std::shared_ptr<OVAdDefaultBlurredImageView> OVAdDefaultBlurredImageView::create(
    std::shared_ptr<platform::Image> image, std::shared_ptr<platform::Image> blurredImage) {
  auto view = std::make_shared<OVAdDefaultBlurredImageView>();
  view->setClipsToBounds(true);
  view->image_ = std::move(image);
  view->blurredImage_ = std::move(blurredImage);
  return view;
}

bool OVAdDefaultBlurredImageView::isHardwareRenderingRestrictedDevice() {
  return OVAdDevice::deviceModel() == kHardwareRenderingRestrictedDeviceModel;
}

std::shared_ptr<platform::View> OVAdDefaultBlurredImageView::blurredImageView() const {
  return imageRenderer_ ? imageRenderer_->imageView() : nullptr;
}

std::shared_ptr<OVAdImageContext> OVAdDefaultBlurredImageView::ciContext() const {
  return imageRenderer_ ? imageRenderer_->ciContext() : nullptr;
}

std::shared_ptr<OVAdImageRenderer> OVAdDefaultBlurredImageView::createImageRenderer() const {
  const auto kind = OVAdChooseImageRenderer(OVAdSettings::mediaViewRenderingMethod(),
                                            OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS9(), kMetalDevicePresent,
                                            OVAdConfigManager::sharedManager()->isMetalImageRendererEnabled());
  switch (kind) {
    case OVAdImageRendererKind::Metal:
      // Never chosen without a Metal device; were it, GL would stand in.
      [[fallthrough]];
    case OVAdImageRendererKind::OpenGL:
      // Without a GL context the backdrop is drawn in software rather than
      // not at all.
      if (auto renderer = OVAdImageOpenGLRenderer::create()) {
        OV_LOG(kOVAdLogLevelPlain, "%s", kUsingOpenGLMessage);
        return renderer;
      }
      break;
    case OVAdImageRendererKind::Software:
      break;
  }
  OV_LOG(kOVAdLogLevelPlain, "%s", kUsingSoftwareMessage);
  return OVAdImageSoftwareRenderer::create();
}

void OVAdDefaultBlurredImageView::setupViews() {
  auto imageView = imageView_.lock();
  if (!imageView) {
    imageView = std::make_shared<platform::ImageView>(image_);
    imageView->setContentMode(platform::ContentMode::ScaleAspectFill);
    addSubview(imageView);
    imageView_ = imageView;
  }
  imageView->setImage(image_);
  updateNeedsImageBlurring();
  if (!imageRenderer_) {
    imageRenderer_ = createImageRenderer();
    insertSubviewBelow(imageRenderer_->imageView(), imageView);
  }
}

void OVAdDefaultBlurredImageView::updateNeedsImageBlurring() {
  const platform::Size frameSize = frame().size;
  const double frameRatio = aspectRatio(frameSize);
  const double imageRatio = image_ ? aspectRatio(image_->size()) : std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(frameRatio) || std::isnan(imageRatio)) {
    needsImageBlurring_ = false;
    return;
  }
  needsImageBlurring_ = !nearlyEqual(imageRatio, frameRatio, kAspectRatioTolerance);
  if (needsImageBlurring_) {
    OV_LOG(kOVAdLogLevelVerbose, kNeedsBlurringMessage, kClassName, static_cast<const void*>(this), frameRatio,
           sizeString(frameSize).c_str(), imageRatio, sizeString(image_->size()).c_str());
  }
}

OVAspectRatioInfo OVAdDefaultBlurredImageView::infoForRequestedSize(platform::Size size) const {
  if (!image_) return {};
  const double ratio = image_->size().height / image_->size().width;
  const bool usable = std::isfinite(ratio) && ratio > 0 && std::isfinite(size.width) && std::isfinite(size.height) &&
                      size.width > 0 && size.height > 0;
  if (!usable) return {};
  const double fullWidthHeight = std::floor(size.width * ratio);
  if (fullWidthHeight <= size.height) {
    return {{0, std::floor(std::floor((size.height - fullWidthHeight) / 2))},
            {std::floor(size.width), fullWidthHeight}};
  }
  // Taller than the frame: fitted by the height, centred across, so
  // nothing of it falls outside the view.
  const double fullHeightWidth = std::floor(size.height / ratio);
  return {{std::floor((size.width - fullHeightWidth) / 2), 0}, {fullHeightWidth, std::floor(size.height)}};
}

void OVAdDefaultBlurredImageView::updateView(bool changed) {
  if (!changed) return;
  setupViews();
  const auto imageView = imageView_.lock();
  const platform::Rect area = bounds();
  if (needsImageBlurring_) {
    const OVAspectRatioInfo info = infoForRequestedSize(area.size);
    const bool acrossTheWidth = info.imageSize.width >= std::floor(area.width());
    if (acrossTheWidth) {
      imageView->setFrame(platform::Rect(0, info.offset.y - kBackdropOverlap, info.imageSize.width,
                                         info.imageSize.height + 2 * kBackdropOverlap));
    } else {
      imageView->setFrame(platform::Rect(info.offset.x - kBackdropOverlap, 0,
                                         info.imageSize.width + 2 * kBackdropOverlap, info.imageSize.height));
    }
    imageRenderer_->imageView()->setFrame(area);
    imageRenderer_->renderCIImage(area.size == platform::Size{} ? nullptr : blurredImage_);
  } else {
    imageView->setFrame(area);
  }
}

void OVAdDefaultBlurredImageView::setFrame(platform::Rect frame) {
  const platform::Rect previous = this->frame();
  OVAdBlurredImageView::setFrame(frame);
  updateView(frame != previous && !frame.isEmpty());
}

void OVAdDefaultBlurredImageView::setBounds(platform::Rect bounds) {
  const platform::Rect previous = this->bounds();
  OVAdBlurredImageView::setBounds(bounds);
  updateView(bounds != previous && !bounds.isEmpty());
}

void OVAdDefaultBlurredImageView::layoutSubviews() {
  OVAdBlurredImageView::layoutSubviews();
  updateView(true);
}

void OVAdDefaultBlurredImageView::setImage(std::shared_ptr<platform::Image> image) {
  const bool changed = image != image_;
  const bool shows = image != nullptr;
  image_ = std::move(image);
  updateView(changed);
  if (shows) reportLoad();
}

void OVAdDefaultBlurredImageView::setBlurredImage(std::shared_ptr<platform::Image> blurredImage) {
  const bool changed = blurredImage != blurredImage_;
  blurredImage_ = std::move(blurredImage);
  updateView(changed);
}

void OVAdDefaultBlurredImageView::reportLoad() {
  // The backdrop usually follows the image in the same turn; the report
  // waits for it, as a display pass would.
  const std::weak_ptr<OVAdDefaultBlurredImageView> weakSelf =
      std::static_pointer_cast<OVAdDefaultBlurredImageView>(sharedView());
  platform::DispatchQueue::main()->async([weakSelf] {
    const auto self = weakSelf.lock();
    if (!self || !self->image()) return;
    if (const auto listener = self->delegate_.lock()) listener->blurredImageViewDidLoad(self);
  });
}

}  // namespace plexora

#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"

#include <mutex>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

OVAdBlurredImageView::Maker& OVAdBlurredImageView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([]() -> std::shared_ptr<OVAdBlurredImageView> { return OVAdDefaultBlurredImageView::create(); });
  });
  return instance;
}

std::shared_ptr<OVAdDefaultBlurredImageView> OVAdDefaultBlurredImageView::create() {
  auto view = std::make_shared<OVAdDefaultBlurredImageView>();
  view->build();
  return view;
}

void OVAdDefaultBlurredImageView::build() {
  setClipsToBounds(true);
  auto backdrop = std::make_shared<platform::ImageView>(bounds());
  backdrop->setContentMode(platform::ContentMode::ScaleAspectFill);
  auto image = std::make_shared<platform::ImageView>(bounds());
  image->setContentMode(platform::ContentMode::ScaleAspectFit);
  addSubview(backdrop);
  addSubview(image);
  backdropView_ = backdrop;
  imageView_ = image;
}

void OVAdDefaultBlurredImageView::layout() {
  if (const auto backdrop = backdropView_.lock()) backdrop->setFrame(bounds());
  if (const auto image = imageView_.lock()) image->setFrame(bounds());
}

void OVAdDefaultBlurredImageView::setFrame(platform::Rect frame) {
  OVAdBlurredImageView::setFrame(frame);
  layout();
}

void OVAdDefaultBlurredImageView::setBounds(platform::Rect bounds) {
  OVAdBlurredImageView::setBounds(bounds);
  layout();
}

std::shared_ptr<platform::Image> OVAdDefaultBlurredImageView::image() const {
  const auto view = imageView_.lock();
  return view ? view->image() : nullptr;
}

void OVAdDefaultBlurredImageView::setImage(std::shared_ptr<platform::Image> image) {
  const bool shows = image != nullptr;
  if (const auto view = imageView_.lock()) view->setImage(std::move(image));
  if (shows) reportLoad();
}

std::shared_ptr<platform::Image> OVAdDefaultBlurredImageView::blurredImage() const {
  const auto view = backdropView_.lock();
  return view ? view->image() : nullptr;
}

void OVAdDefaultBlurredImageView::setBlurredImage(std::shared_ptr<platform::Image> blurredImage) {
  if (const auto view = backdropView_.lock()) view->setImage(std::move(blurredImage));
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

#include "platform/ui/ImageView.h"

#include "platform/ui/Image.h"

namespace plexora::platform {

ImageView::ImageView() : ImageView(Rect::zero()) {}

ImageView::ImageView(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(std::shared_ptr<Image> image) : ImageView(Rect::zero()) { image_ = std::move(image); }

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : Size{}; }

Size ImageView::intrinsicContentSize() const {
  return image_ ? image_->size() : Size{kNoIntrinsicMetric, kNoIntrinsicMetric};
}

}  // namespace plexora::platform

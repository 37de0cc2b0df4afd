#include "platform/ui/ImageView.h"

namespace plexora::platform {

ImageView::ImageView() : ImageView(Rect::zero()) {}

ImageView::ImageView(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(std::shared_ptr<Image> image) : ImageView(Rect::zero()) { image_ = std::move(image); }

}  // namespace plexora::platform

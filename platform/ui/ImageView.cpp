#include "platform/ui/ImageView.h"

#include <algorithm>

#include "platform/ui/CairoDrawing.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

ImageView::ImageView() : ImageView(Rect::zero()) {}

ImageView::ImageView(Rect frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(std::shared_ptr<Image> image) : ImageView(Rect::zero()) { image_ = std::move(image); }

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : Size{}; }

Size ImageView::intrinsicContentSize() const {
  return image_ ? image_->size() : Size{kNoIntrinsicMetric, kNoIntrinsicMetric};
}

Rect ImageView::imageRect() const {
  if (!image_) return Rect::zero();
  const Rect area = bounds();
  const Size natural = image_->size();
  auto centred = [&](Size size) {
    return Rect(area.midX() - size.width / 2.0, area.midY() - size.height / 2.0, size.width, size.height);
  };
  auto scaled = [&](double factor) { return centred(Size{natural.width * factor, natural.height * factor}); };
  const double widthRatio = area.width() / natural.width;
  const double heightRatio = area.height() / natural.height;
  const double left = area.minX();
  const double right = area.maxX() - natural.width;
  const double top = area.minY();
  const double bottom = area.maxY() - natural.height;
  const Rect middle = centred(natural);
  switch (contentMode()) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw:
      return area;
    case ContentMode::ScaleAspectFit:
      return scaled(std::min(widthRatio, heightRatio));
    case ContentMode::ScaleAspectFill:
      return scaled(std::max(widthRatio, heightRatio));
    case ContentMode::Center:
      return middle;
    case ContentMode::Top:
      return Rect(Point{middle.minX(), top}, natural);
    case ContentMode::Bottom:
      return Rect(Point{middle.minX(), bottom}, natural);
    case ContentMode::Left:
      return Rect(Point{left, middle.minY()}, natural);
    case ContentMode::Right:
      return Rect(Point{right, middle.minY()}, natural);
    case ContentMode::TopLeft:
      return Rect(Point{left, top}, natural);
    case ContentMode::TopRight:
      return Rect(Point{right, top}, natural);
    case ContentMode::BottomLeft:
      return Rect(Point{left, bottom}, natural);
    case ContentMode::BottomRight:
      return Rect(Point{right, bottom}, natural);
  }
  return area;
}

void ImageView::draw(GraphicsContext& context, Rect) const {
  if (!image_) return;
  drawing::drawImage(context.unclippedCairo(), *image_, imageRect());
}

}  // namespace plexora::platform

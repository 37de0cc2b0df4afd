// An image view: shows one image, placed in its bounds by its content mode
// (and, like any view's content, not clipped unless clipsToBounds is set).
// Its natural size is the image's size in points. Image views take no
// touches by default.
//
// Thread safety: main thread only.
// Ownership: the view shares its image.
#pragma once

#include <memory>
#include <utility>

#include "platform/Export.h"
#include "platform/ui/View.h"

namespace plexora::platform {

class Image;

class PLEXORA_EXPORT ImageView : public View {
 public:
  ImageView();
  explicit ImageView(Rect frame);
  explicit ImageView(std::shared_ptr<Image> image);

  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image) { image_ = std::move(image); }

  // The image's size; no size without an image.
  Size sizeThatFits(Size size) const override;
  // The image's size; none without an image.
  Size intrinsicContentSize() const override;

  // Where the image is drawn, in bounds coordinates: stretched over the
  // bounds (ScaleToFill, Redraw), scaled to fit inside them or to cover
  // them keeping its aspect ratio and centred, or at its own size in the
  // centre or against the edges the other modes name. Empty without an
  // image.
  Rect imageRect() const;

  void draw(GraphicsContext& context, Rect rect) const override;

 private:
  std::shared_ptr<Image> image_;
};

}  // namespace plexora::platform

// The library's blurred image view. When the frame's aspect ratio differs
// from the image's by 2.5% or more, the image is fitted whole and centred
// (across the full width, or the full height for an image taller than the
// frame) with two points of overlap on the sides that meet the backdrop,
// and the blurred copy is stretched over the whole frame behind it by an
// image renderer; otherwise the image fills the frame. The view clips to
// its bounds.
//
// The image view and the renderer are made on the first layout with a
// rectangle and kept. The renderer is chosen once: the application's
// rendering method, else Metal where it exists (never on this platform),
// else OpenGL; software when no GL context can be had.
//
// Thread safety: main thread only.
// Ownership: the view keeps both images and its renderer, holds its image
// view weakly (the view tree owns it) and its delegate weakly.
#pragma once

#include <memory>

#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "adapters/views/nativead/image/OVAdImageRenderer.h"
#include "adapters/views/nativead/image/OVAdImageRendererChoice.h"
#include "platform/ui/ImageView.h"

namespace plexora {

// Where the fitted image goes in a frame: its origin and its size.
struct OVAspectRatioInfo {
  platform::Point offset;
  platform::Size imageSize;

  bool operator==(const OVAspectRatioInfo&) const = default;
};

class OVAdDefaultBlurredImageView final : public OVAdBlurredImageView {
 public:
  static std::shared_ptr<OVAdDefaultBlurredImageView> create();
  static std::shared_ptr<OVAdDefaultBlurredImageView> create(std::shared_ptr<platform::Image> image,
                                                             std::shared_ptr<platform::Image> blurredImage);

  void setDelegate(std::weak_ptr<OVAdBlurredImageViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<platform::Image> image() const override { return image_; }
  // A non-null image is reported to the delegate once it shows, on the next
  // turn of the main queue.
  void setImage(std::shared_ptr<platform::Image> image) override;
  std::shared_ptr<platform::Image> blurredImage() const override { return blurredImage_; }
  void setBlurredImage(std::shared_ptr<platform::Image> blurredImage) override;

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void layoutSubviews() override;
  // True: builds what is missing and places the image and the backdrop.
  void updateView(bool changed);

  // Where the image goes in a frame of `size`; zero without an image or
  // for a size that is not finite and positive.
  OVAspectRatioInfo infoForRequestedSize(platform::Size size) const;
  bool needsImageBlurring() const { return needsImageBlurring_; }
  // Whether the device model is one where hardware rendering is held back.
  static bool isHardwareRenderingRestrictedDevice();

  // Null until the first layout.
  const std::shared_ptr<OVAdImageRenderer>& imageRenderer() const { return imageRenderer_; }
  std::shared_ptr<platform::ImageView> imageView() const { return imageView_.lock(); }
  std::shared_ptr<platform::View> blurredImageView() const;
  std::shared_ptr<OVAdImageContext> ciContext() const;

 private:
  void setupViews();
  std::shared_ptr<OVAdImageRenderer> createImageRenderer() const;
  void updateNeedsImageBlurring();
  void reportLoad();

  std::shared_ptr<platform::Image> image_;
  std::shared_ptr<platform::Image> blurredImage_;
  std::weak_ptr<OVAdBlurredImageViewDelegate> delegate_;
  std::weak_ptr<platform::ImageView> imageView_;
  std::shared_ptr<OVAdImageRenderer> imageRenderer_;
  bool needsImageBlurring_ = false;
};

}  // namespace plexora

// The library's blurred image view: two image views filling its bounds, the
// blurred backdrop stretched to fill them and the sharp image over it, fit
// whole and centred. Drawing is in software: the headless view world has
// no hardware renderer to choose.
//
// Thread safety: main thread only.
// Ownership: the view keeps both images through its two image views and
// holds its delegate weakly.
#pragma once

#include <memory>

#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "platform/ui/ImageView.h"

namespace plexora {

class OVAdDefaultBlurredImageView final : public OVAdBlurredImageView {
 public:
  static std::shared_ptr<OVAdDefaultBlurredImageView> create();

  void setDelegate(std::weak_ptr<OVAdBlurredImageViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<platform::Image> image() const override;
  // A non-null image is reported to the delegate once it shows, on the next
  // turn of the main queue.
  void setImage(std::shared_ptr<platform::Image> image) override;
  std::shared_ptr<platform::Image> blurredImage() const override;
  void setBlurredImage(std::shared_ptr<platform::Image> blurredImage) override;

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;

 private:
  void build();
  void layout();
  void reportLoad();

  std::weak_ptr<OVAdBlurredImageViewDelegate> delegate_;
  std::weak_ptr<platform::ImageView> backdropView_;
  std::weak_ptr<platform::ImageView> imageView_;
};

}  // namespace plexora

// The renderer drawn in software: each image becomes a bitmap at once,
// shown by an image view that stretches it over its bounds.
//
// Thread safety: main thread only.
// Ownership: the renderer owns its image view and keeps the last image.
#pragma once

#include <memory>

#include "adapters/views/nativead/image/OVAdImageRenderer.h"
#include "platform/ui/ImageView.h"

namespace plexora {

class OVAdImageSoftwareRenderer final : public OVAdImageRenderer {
 public:
  // The context is the resource cache's shared one unless the
  // configuration turns that off.
  static std::shared_ptr<OVAdImageSoftwareRenderer> create();

  void renderCIImage(std::shared_ptr<platform::Image> image) override;
  std::shared_ptr<OVAdImageContext> ciContext() const override { return ciContext_; }
  void setCiContext(std::shared_ptr<OVAdImageContext> ciContext) override { ciContext_ = std::move(ciContext); }
  std::shared_ptr<platform::View> imageView() const override { return internalImageView_; }

 private:
  std::shared_ptr<OVAdImageContext> ciContext_;
  std::shared_ptr<platform::ImageView> internalImageView_;
  std::shared_ptr<platform::Image> ciImage_;
};

}  // namespace plexora

// Shows an ad image in a frame whose aspect ratio may differ from the
// image's: the image at the frame's full width, centred, over a blurred copy
// of it stretched across the whole frame.
//
// create() makes the library's own view (OVAdDefaultBlurredImageView) unless
// another maker is installed (tests install doubles).
//
// Thread safety: main thread only.
// Ownership: the view keeps both images and holds its delegate weakly.
#pragma once

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdBlurredImageView;

class OVAdBlurredImageViewDelegate {
 public:
  virtual ~OVAdBlurredImageViewDelegate() = default;

  // The view shows its images.
  virtual void blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>& blurredImageView) = 0;
};

class OVAdBlurredImageView : public platform::View {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdBlurredImageView>()>;

  static std::shared_ptr<OVAdBlurredImageView> create() { return maker()(); }

  virtual void setDelegate(std::weak_ptr<OVAdBlurredImageViewDelegate> delegate) = 0;
  // The sharp image; null clears it.
  virtual std::shared_ptr<platform::Image> image() const = 0;
  virtual void setImage(std::shared_ptr<platform::Image> image) = 0;
  // The blurred backdrop; null clears it.
  virtual std::shared_ptr<platform::Image> blurredImage() const = 0;
  virtual void setBlurredImage(std::shared_ptr<platform::Image> blurredImage) = 0;

  static Maker& maker();

 protected:
  OVAdBlurredImageView() = default;
};

}  // namespace plexora

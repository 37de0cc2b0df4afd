// What draws the blurred image view's backdrop: it shows an image
// stretched over its own view, drawn with an image context.
//
// Thread safety: main thread only.
// Ownership: a renderer owns its view and its context, and keeps the image
// it shows.
#pragma once

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"
#include "util/OVAdImageContext.h"

namespace plexora {

class OVAdImageRenderer {
 public:
  virtual ~OVAdImageRenderer() = default;

  // Shows `image` over the whole view; null shows nothing.
  virtual void renderCIImage(std::shared_ptr<platform::Image> image) = 0;
  virtual std::shared_ptr<OVAdImageContext> ciContext() const = 0;
  virtual void setCiContext(std::shared_ptr<OVAdImageContext> ciContext) = 0;
  // The view that shows what was rendered.
  virtual std::shared_ptr<platform::View> imageView() const = 0;
};

}  // namespace plexora

// The white cross that closes a fullscreen video, drawn over a soft dark
// shadow. The cross assumes a square button.
//
// Thread safety: main thread only.
// Ownership: the fullscreen controller's view owns it.
#pragma once

#include <memory>

#include "platform/ui/Button.h"

namespace plexora {

class OVAdVideoDismissButton final : public platform::Button {
 public:
  static std::shared_ptr<OVAdVideoDismissButton> videoDismissButton() {
    return std::make_shared<OVAdVideoDismissButton>();
  }
  using platform::Button::Button;

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
};

}  // namespace plexora

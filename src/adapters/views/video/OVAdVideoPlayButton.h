// The play button drawn over a native video: a play triangle while the
// button is highlighted (the video is paused), two pause bars otherwise,
// white over a soft dark shadow, on a 125-unit grid scaled to the button's
// larger side. Views of this class, with everything inside them, take no
// part in an ad's own touch targets.
//
// Thread safety: main thread only.
// Ownership: the renderer's view owns it.
#pragma once

#include <memory>

#include "platform/ui/Button.h"

namespace plexora {

class OVAdVideoPlayButton final : public platform::Button {
 public:
  static std::shared_ptr<OVAdVideoPlayButton> videoPlayButton() { return std::make_shared<OVAdVideoPlayButton>(); }
  using platform::Button::Button;

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
};

}  // namespace plexora

// The centre play/pause control of the video ad views: a white disc with a
// dark play triangle while the button is highlighted (the video is paused)
// and two dark bars otherwise.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it.
#pragma once

#include <memory>

#include "platform/ui/Button.h"

namespace plexora {

class OVAdVideoPlayPauseButton final : public platform::Button {
 public:
  static std::shared_ptr<OVAdVideoPlayPauseButton> videoPlayPauseButton() {
    return std::make_shared<OVAdVideoPlayPauseButton>();
  }
  using platform::Button::Button;

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;
};

}  // namespace plexora

// The play button drawn over a native video. Views of this class, with
// everything inside them, take no part in an ad's own touch targets.
//
// Thread safety: main thread only.
#pragma once

#include "platform/ui/Button.h"

namespace plexora {

class OVAdVideoPlayButton : public platform::Button {
 public:
  using platform::Button::Button;
};

}  // namespace plexora

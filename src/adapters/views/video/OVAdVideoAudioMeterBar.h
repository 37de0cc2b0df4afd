// One bar of the audio meters: a thin white bar that stands on its bottom
// edge and is scaled vertically by a key-frame animation. The view model
// has no animation layer, so the bar plays its animation itself: whenever a
// picture is made it shows the level the animation has reached on the
// current clock. Without an animation it shows at full height.
//
// Thread safety: main thread only.
// Ownership: the audio meters own their bars.
#pragma once

#include <optional>
#include <vector>

#include "platform/ui/View.h"

namespace plexora {

// Vertical scales played linearly, evenly spaced over `duration`, then back
// (autoreversing), for ever, from `beginTime` on the monotonic clock.
struct OVAdAudioMeterAnimation {
  std::vector<float> values;
  double duration = 0.0;
  double beginTime = 0.0;

  // The scale at the monotonic time; 1 with no values.
  double valueAt(double time) const;
};

class OVAdVideoAudioMeterBar final : public platform::View {
 public:
  using platform::View::View;

  const std::optional<OVAdAudioMeterAnimation>& animation() const { return animation_; }
  // Replaces the running animation; none stops it.
  void setAnimation(std::optional<OVAdAudioMeterAnimation> animation) { animation_ = std::move(animation); }
  // The vertical scale shown now.
  double currentScale() const;

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  std::optional<OVAdAudioMeterAnimation> animation_;
};

}  // namespace plexora

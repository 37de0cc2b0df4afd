// The round button in the top-right corner of a video interstitial: while
// the ad may not be skipped yet, a white disc whose wedge grows clockwise
// from twelve o'clock towards `duration` (the time from which the ad may be
// closed); from then on a grey cross on the disc. It only draws: the
// content view handles its taps and feeds it the playback time. The shapes
// assume a square view; they are drawn whenever a picture of it is made.
//
// Thread safety: main thread only.
// Ownership: the content view owns it.
#pragma once

#include <memory>

#include "platform/media/MediaTime.h"
#include "platform/ui/Color.h"
#include "platform/ui/View.h"

namespace plexora {

class OVInterstitialVideoAdCloseButton final : public platform::View {
 public:
  static std::shared_ptr<OVInterstitialVideoAdCloseButton> initWithDuration(const platform::MediaTime& duration) {
    return std::make_shared<OVInterstitialVideoAdCloseButton>(duration);
  }
  // A zero duration: the cross at once.
  OVInterstitialVideoAdCloseButton() : OVInterstitialVideoAdCloseButton(platform::MediaTime::zero()) {}
  // A zero frame, a clear background, the time at zero, a black wedge.
  explicit OVInterstitialVideoAdCloseButton(const platform::MediaTime& duration);

  // The part of `duration` played, 0 to 1; 0 while the duration has no
  // positive length or the time is not a number.
  double completeRatio() const;

  const platform::MediaTime& currentTime() const { return currentTime_; }
  void setCurrentTime(const platform::MediaTime& time) { currentTime_ = time; }
  const platform::MediaTime& duration() const { return duration_; }
  void setDuration(const platform::MediaTime& duration) { duration_ = duration; }
  const platform::Color& progressColor() const { return progressColor_; }
  void setProgressColor(platform::Color color) { progressColor_ = color; }

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  platform::MediaTime currentTime_ = platform::MediaTime::zero();
  platform::MediaTime duration_;
  platform::Color progressColor_ = platform::Color::black();
};

}  // namespace plexora

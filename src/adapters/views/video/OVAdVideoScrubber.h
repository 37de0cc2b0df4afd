// The seek bar of the fullscreen native video: a slider whose value is the
// playback position in seconds, drawn as a thin bar of its own (a dark
// track, a lighter playable part and a white elapsed part, from the left)
// with an invisible thumb. While a finger is on it the bar grows from 2 to
// 6 points and draws in from the sides. Tracking starts wherever the finger
// lands, not only on the thumb.
//
// Bars never take a width outside the track: a maximum of 0 or less, a
// non-finite value or playable duration, or a track too narrow leaves them
// empty, and a value or playable duration past the maximum fills the track.
//
// Thread safety: main thread only.
// Ownership: whoever shows the video owns the scrubber; the scrubber owns
// its bars.
#pragma once

#include <memory>

#include "platform/ui/Color.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Slider.h"

namespace plexora {

class OVAdVideoScrubber final : public platform::Slider {
 public:
  static constexpr double kScrubberHeight = 2.0;
  static constexpr double kScrubberHeightWhileScrubbing = 6.0;
  static constexpr double kDefaultTrackInsetWhileScrubbing = 12.0;
  static constexpr double kAnimationSeconds = 0.2;
  static constexpr double kThumbSize = 8.0;

  static std::shared_ptr<OVAdVideoScrubber> initWithFrame(platform::Rect frame);
  // Without its bars: initWithFrame() makes complete scrubbers.
  explicit OVAdVideoScrubber(platform::Rect frame);

  void layoutSubviews() override;

  double playableDuration() const { return playableDuration_; }
  // In the units of the value (seconds).
  void setPlayableDuration(double playableDuration) { setPlayableDuration(playableDuration, false); }
  void setPlayableDuration(double playableDuration, bool animated);
  double trackInsetWhileScrubbing() const { return trackInsetWhileScrubbing_; }
  void setTrackInsetWhileScrubbing(double inset) { trackInsetWhileScrubbing_ = inset; }
  // From the bottom of the bounds to the bottom of the bar.
  double hitAreaBelowScrubber() const { return hitAreaBelowScrubber_; }
  void setHitAreaBelowScrubber(double distance) { hitAreaBelowScrubber_ = distance; }

  double currentScrubberHeight() const { return currentScrubberHeight_; }
  double currentInset() const { return currentInset_; }
  const std::shared_ptr<platform::View>& trackView() const { return trackView_; }
  const std::shared_ptr<platform::ImageView>& trackMinView() const { return trackMinView_; }
  const std::shared_ptr<platform::ImageView>& trackLoadingView() const { return trackLoadingView_; }
  const std::shared_ptr<platform::ImageView>& trackMaxView() const { return trackMaxView_; }

 protected:
  bool beginTracking(const platform::Touch& touch, const platform::Event& event) override;

 private:
  static std::shared_ptr<platform::Image> imageWithColor(platform::Color color, platform::Size size);
  static std::shared_ptr<platform::ImageView> makeBar(platform::Color color, double alpha);
  // Needs the shared owner: the bars are subviews.
  void build();
  void updateTrackLoadingViewFrame();
  // The part of `width` that `amount` of the maximum value covers, in whole
  // device pixels.
  double widthFor(double amount, double width) const;
  void resize(double height, double inset);

  std::shared_ptr<platform::View> trackView_;
  std::shared_ptr<platform::ImageView> trackMinView_;
  std::shared_ptr<platform::ImageView> trackLoadingView_;
  std::shared_ptr<platform::ImageView> trackMaxView_;
  double currentScrubberHeight_ = kScrubberHeight;
  double currentInset_ = 0.0;
  double playableDuration_ = 0.0;
  double trackInsetWhileScrubbing_ = kDefaultTrackInsetWhileScrubbing;
  double hitAreaBelowScrubber_ = 0.0;
};

}  // namespace plexora

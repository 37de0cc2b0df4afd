// The round skip control over a video ad: a white disc whose dark sector
// grows clockwise from 12 o'clock while the countdown runs, then the skip
// symbol (icon 0) or a cross (any other icon). `duration` is the countdown
// before the ad may be skipped, not the video's length. The shapes assume a
// square view; they are drawn whenever a picture of the view is made.
//
// Thread safety: main thread only.
// Ownership: the video view that shows it owns it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdVideoSkipButton final : public platform::View {
 public:
  static constexpr std::int64_t kIconSkip = 0;
  static constexpr std::int64_t kIconCross = 1;

  static std::shared_ptr<OVAdVideoSkipButton> initWithDuration(const platform::MediaTime& duration,
                                                               std::int64_t iconType) {
    return std::make_shared<OVAdVideoSkipButton>(duration, iconType);
  }
  // A zero countdown with the skip symbol.
  OVAdVideoSkipButton() : OVAdVideoSkipButton(platform::MediaTime::zero(), kIconSkip) {}
  // A zero frame and a clear background.
  OVAdVideoSkipButton(const platform::MediaTime& duration, std::int64_t iconType);

  // The part of the countdown that has run, 0 to 1; 0 while the countdown
  // has no positive length or the position is not a number.
  double completeRatio() const;

  const platform::MediaTime& currentTime() const { return currentTime_; }
  void setCurrentTime(const platform::MediaTime& time) { currentTime_ = time; }
  const platform::MediaTime& duration() const { return duration_; }
  void setDuration(const platform::MediaTime& duration) { duration_ = duration; }
  const platform::Color& progressColor() const { return progressColor_; }
  void setProgressColor(platform::Color color) { progressColor_ = color; }
  std::int64_t iconType() const { return iconType_; }

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  void drawCross(platform::GraphicsContext& context, double inset, double diameter) const;
  void drawSkipSymbol(platform::GraphicsContext& context, platform::Point center, double radius) const;

  platform::MediaTime currentTime_ = platform::MediaTime::zero();
  platform::MediaTime duration_;
  platform::Color progressColor_ = platform::Color::black();
  std::int64_t iconType_;
};

}  // namespace plexora

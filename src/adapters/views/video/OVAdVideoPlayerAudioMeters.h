// A small decorative sound indicator: three thin white bars that move up
// and down at random, like a level meter, while the owner says sound is
// playing. It measures nothing; the levels are made up from a random
// source, which a test may seed.
//
// Each start (startAnimating, becoming visible, gaining a superview while
// animating) gives every bar 50 fresh key-frame levels, played over 7.5 s,
// then backwards, for ever. The raw levels are squares of uniform numbers
// (favouring low levels), each pulled towards the three bars' mean by a
// random weight, so the bars move partly together. With hidesWhenStopped
// the meters show only while animating.
//
// Thread safety: main thread only.
// Ownership: the renderer's view owns the meters; the meters own their
// bars.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "adapters/views/video/OVAdVideoAudioMeterBar.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdVideoPlayerAudioMeters final : public platform::View {
 public:
  static constexpr double kBarWidth = 3.0;
  static constexpr double kBarHeight = 16.0;
  static constexpr double kBarSpacing = 1.0;
  static constexpr std::size_t kKeyFrameCount = 50;
  static constexpr double kAnimationDuration = 7.5;

  // A zero frame with its three bars.
  static std::shared_ptr<OVAdVideoPlayerAudioMeters> create();
  using platform::View::View;

  // Always 11 x 16.
  platform::Size sizeThatFits(platform::Size size) const override;
  void layoutSubviews() override;
  // A change of the hidden state may start the animation; hiding leaves it.
  void setHidden(bool hidden) override;
  void didMoveToSuperview() override;

  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool hides) { hidesWhenStopped_ = hides; }
  // Makes the levels of later starts repeatable.
  void seedRandomSource(std::uint32_t seed) { random_.seed(seed); }

  const std::shared_ptr<OVAdVideoAudioMeterBar>& leftMeter() const { return leftMeter_; }
  const std::shared_ptr<OVAdVideoAudioMeterBar>& centerMeter() const { return centerMeter_; }
  const std::shared_ptr<OVAdVideoAudioMeterBar>& rightMeter() const { return rightMeter_; }

 private:
  std::shared_ptr<OVAdVideoAudioMeterBar> newAudioMeter();
  void startAnimatingIfNecessary();
  void stopAnimation();
  // A uniform fraction in [0, 1).
  float nextFraction();

  std::shared_ptr<OVAdVideoAudioMeterBar> leftMeter_;
  std::shared_ptr<OVAdVideoAudioMeterBar> centerMeter_;
  std::shared_ptr<OVAdVideoAudioMeterBar> rightMeter_;
  bool animating_ = false;
  bool hidesWhenStopped_ = false;
  std::mt19937 random_{std::random_device{}()};
};

}  // namespace plexora

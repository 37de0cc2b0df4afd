// A long press: begins once the touch has been held for the minimum
// duration without moving more than the allowable distance, reports each
// later move as a change, and ends with the touch. The duration counts on
// the current Clock (a main-queue timer) and also by the touches' own
// timestamps, whichever shows it first. A touch that moves too far or ends
// too early makes it fail.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>

#include "platform/ui/GestureRecognizer.h"

namespace plexora::platform {

class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  static constexpr double kDefaultMinimumPressDuration = 0.5;
  static constexpr double kDefaultAllowableMovement = 10.0;

  using GestureRecognizer::GestureRecognizer;

  double minimumPressDuration() const { return minimumPressDuration_; }
  void setMinimumPressDuration(double seconds) { minimumPressDuration_ = seconds; }
  double allowableMovement() const { return allowableMovement_; }
  void setAllowableMovement(double points) { allowableMovement_ = points; }

  void touchesBegan(const Touches& touches, const Event& event) override;
  void touchesMoved(const Touches& touches, const Event& event) override;
  void touchesEnded(const Touches& touches, const Event& event) override;
  void touchesCancelled(const Touches& touches, const Event& event) override;

 protected:
  void reset() override;

 private:
  bool heldLongEnough(const Touch& touch) const;
  bool movedTooFar(const Touch& touch) const;

  double minimumPressDuration_ = kDefaultMinimumPressDuration;
  double allowableMovement_ = kDefaultAllowableMovement;
  Point start_;
  double startTimestamp_ = 0.0;
  // Tells a pending timer whether the press it was started for still runs.
  std::uint64_t pressNumber_ = 0;
};

}  // namespace plexora::platform

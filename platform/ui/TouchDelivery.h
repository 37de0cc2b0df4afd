// Delivers the application's simulated touches: hit-tests the front-most
// window that takes the touch, then hands each phase to the gesture
// recognisers of the touched view and its ancestors (deepest first) and to
// the touched view itself, applying the recognisers' rules (see
// GestureRecognizer.h). One touch sequence at a time; a new touch that
// begins while one is under way cancels the old one first.
//
// Tap recognisers of other views yield to an enabled control that is
// touched, so a tap on a button works the button and not a tap recogniser
// of the view behind it.
//
// Thread safety: main thread only.
// Ownership: held by the application; holds the touched view and the
// recognisers of the sequence until it ends.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/Touch.h"

namespace plexora::platform {

class GestureRecognizer;

struct TouchInput {
  TouchPhase phase = TouchPhase::Began;
  Point screenLocation;
  double timestamp = 0.0;
  double force = 0.0;
  double majorRadius = 0.0;
};

class TouchDelivery final {
 public:
  TouchDelivery();
  ~TouchDelivery();
  TouchDelivery(const TouchDelivery&) = delete;
  TouchDelivery& operator=(const TouchDelivery&) = delete;

  // `windows` front to back. Answers whether the touch reached a view (a
  // move or end without a sequence under way reaches nothing).
  bool deliver(const TouchInput& input, const std::vector<std::shared_ptr<Window>>& windows);
  // Cancels the sequence under way, if any.
  void cancel(double timestamp);
  bool isTracking() const { return sequence_ != nullptr; }

 private:
  struct Sequence;

  bool begin(const TouchInput& input, const std::vector<std::shared_ptr<Window>>& windows);
  void update(const TouchInput& input);
  void finish();
  void recognizerChangedState(GestureRecognizer& recognizer);
  void cancelTouchesInView();

  std::unique_ptr<Sequence> sequence_;
};

}  // namespace plexora::platform

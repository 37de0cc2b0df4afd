#include "platform/ui/TapGestureRecognizer.h"

#include <cmath>

namespace plexora::platform {

namespace {

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

void TapGestureRecognizer::touchesBegan(const Touches& touches, const Event&) {
  if (!touches.empty()) {
    start_ = touches.front()->locationInView(nullptr);
  }
}

void TapGestureRecognizer::touchesMoved(const Touches& touches, const Event&) {
  if (state() == GestureRecognizerState::Possible && !touches.empty() &&
      distance(touches.front()->locationInView(nullptr), start_) > kTapAllowableMovement) {
    setState(GestureRecognizerState::Failed);
  }
}

void TapGestureRecognizer::touchesEnded(const Touches& touches, const Event&) {
  if (state() != GestureRecognizerState::Possible || touches.empty()) {
    return;
  }
  const bool stayed = distance(touches.front()->locationInView(nullptr), start_) <= kTapAllowableMovement;
  setState(stayed ? GestureRecognizerState::Recognized : GestureRecognizerState::Failed);
}

void TapGestureRecognizer::touchesCancelled(const Touches&, const Event&) {
  if (state() == GestureRecognizerState::Possible) {
    setState(GestureRecognizerState::Failed);
  }
}

void TapGestureRecognizer::reset() {
  GestureRecognizer::reset();
  start_ = Point{};
}

}  // namespace plexora::platform

#include "platform/ui/LongPressGestureRecognizer.h"

#include <cmath>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"

namespace plexora::platform {

bool LongPressGestureRecognizer::heldLongEnough(const Touch& touch) const {
  return touch.timestamp() - startTimestamp_ >= minimumPressDuration_;
}

bool LongPressGestureRecognizer::movedTooFar(const Touch& touch) const {
  const Point location = touch.locationInView(nullptr);
  return std::hypot(location.x - start_.x, location.y - start_.y) > allowableMovement_;
}

void LongPressGestureRecognizer::touchesBegan(const Touches& touches, const Event&) {
  if (touches.empty()) {
    return;
  }
  start_ = touches.front()->locationInView(nullptr);
  startTimestamp_ = touches.front()->timestamp();
  const std::uint64_t press = ++pressNumber_;
  std::weak_ptr<GestureRecognizer> weakSelf = weak_from_this();
  DispatchQueue::main()->after(minimumPressDuration_, [weakSelf, press] {
    auto self = std::static_pointer_cast<LongPressGestureRecognizer>(weakSelf.lock());
    if (self && self->pressNumber_ == press && self->state() == GestureRecognizerState::Possible) {
      self->setState(GestureRecognizerState::Began);
    }
  });
}

void LongPressGestureRecognizer::touchesMoved(const Touches& touches, const Event&) {
  if (touches.empty()) {
    return;
  }
  const Touch& touch = *touches.front();
  switch (state()) {
    case GestureRecognizerState::Possible:
      if (movedTooFar(touch)) {
        setState(GestureRecognizerState::Failed);
      } else if (heldLongEnough(touch)) {
        setState(GestureRecognizerState::Began);
      }
      break;
    case GestureRecognizerState::Began:
    case GestureRecognizerState::Changed:
      setState(GestureRecognizerState::Changed);
      break;
    default:
      break;
  }
}

void LongPressGestureRecognizer::touchesEnded(const Touches& touches, const Event&) {
  if (touches.empty()) {
    return;
  }
  if (state() == GestureRecognizerState::Possible) {
    if (movedTooFar(*touches.front()) || !heldLongEnough(*touches.front())) {
      setState(GestureRecognizerState::Failed);
      return;
    }
    setState(GestureRecognizerState::Began);
  }
  if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed) {
    setState(GestureRecognizerState::Ended);
  }
}

void LongPressGestureRecognizer::touchesCancelled(const Touches&, const Event&) {
  if (state() == GestureRecognizerState::Possible) {
    setState(GestureRecognizerState::Failed);
  } else if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed) {
    setState(GestureRecognizerState::Cancelled);
  }
}

void LongPressGestureRecognizer::reset() {
  GestureRecognizer::reset();
  ++pressNumber_;
}

}  // namespace plexora::platform

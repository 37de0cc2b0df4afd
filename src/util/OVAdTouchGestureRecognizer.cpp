#include "util/OVAdTouchGestureRecognizer.h"

namespace plexora {

OVAdTouchGestureRecognizer::OVAdTouchGestureRecognizer() { setCancelsTouchesInView(false); }

std::shared_ptr<OVAdTouchGestureRecognizerDelegate> OVAdTouchGestureRecognizer::touchDelegate() const {
  return std::dynamic_pointer_cast<OVAdTouchGestureRecognizerDelegate>(delegate());
}

// None of these hands the touches to the long-press logic: the recogniser
// must stay Possible, so it never begins, never cancels the touches of the
// views under it and never fires an action.
void OVAdTouchGestureRecognizer::touchesBegan(const platform::Touches& touches, const platform::Event& event) {
  if (auto listener = touchDelegate()) listener->gestureRecognizerBeganWithTouches(*this, touches, event);
}

void OVAdTouchGestureRecognizer::touchesMoved(const platform::Touches& touches, const platform::Event& event) {
  if (auto listener = touchDelegate()) listener->gestureRecognizerMovedWithTouches(*this, touches, event);
}

void OVAdTouchGestureRecognizer::touchesEnded(const platform::Touches& touches, const platform::Event& event) {
  if (auto listener = touchDelegate()) listener->gestureRecognizerEndedWithTouches(*this, touches, event);
}

void OVAdTouchGestureRecognizer::touchesCancelled(const platform::Touches& touches, const platform::Event& event) {
  if (auto listener = touchDelegate()) listener->gestureRecognizerCancelledWithTouches(*this, touches, event);
}

}  // namespace plexora

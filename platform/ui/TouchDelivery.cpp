#include "platform/ui/TouchDelivery.h"

#include <utility>

#include "platform/ui/Control.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

struct TouchDelivery::Sequence {
  std::shared_ptr<Touch> touch;
  std::shared_ptr<Event> event;
  std::shared_ptr<View> view;
  std::shared_ptr<Window> window;
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
  bool viewCancelled = false;
};

namespace {

bool isFinished(GestureRecognizerState state) {
  return state == GestureRecognizerState::Ended || state == GestureRecognizerState::Cancelled ||
         state == GestureRecognizerState::Failed;
}

bool yieldsToControl(const GestureRecognizer& recognizer, const std::shared_ptr<View>& touched) {
  auto* control = dynamic_cast<Control*>(touched.get());
  return control != nullptr && control->isEnabled() && dynamic_cast<const TapGestureRecognizer*>(&recognizer) &&
         recognizer.view() != touched;
}

}  // namespace

TouchDelivery::TouchDelivery() = default;
TouchDelivery::~TouchDelivery() = default;

bool TouchDelivery::deliver(const TouchInput& input, const std::vector<std::shared_ptr<Window>>& windows) {
  assertMainThread();
  switch (input.phase) {
    case TouchPhase::Began:
      cancel(input.timestamp);
      return begin(input, windows);
    case TouchPhase::Moved:
    case TouchPhase::Ended:
    case TouchPhase::Cancelled:
      if (!sequence_) {
        return false;
      }
      update(input);
      return true;
    case TouchPhase::Stationary:
      return sequence_ != nullptr;
  }
  return false;
}

void TouchDelivery::cancel(double timestamp) {
  if (!sequence_) {
    return;
  }
  TouchInput input;
  input.phase = TouchPhase::Cancelled;
  input.screenLocation = sequence_->touch->window() ? sequence_->touch->window()->convertPointToScreen(
                                                          sequence_->touch->locationInWindow_)
                                                    : sequence_->touch->locationInWindow_;
  input.timestamp = timestamp;
  input.force = sequence_->touch->force_;
  input.majorRadius = sequence_->touch->majorRadius_;
  update(input);
}

bool TouchDelivery::begin(const TouchInput& input, const std::vector<std::shared_ptr<Window>>& windows) {
  auto event = std::shared_ptr<Event>(new Event);
  event->timestamp_ = input.timestamp;
  std::shared_ptr<View> hit;
  std::shared_ptr<Window> hitWindow;
  Point location;
  for (const auto& window : windows) {
    location = window->convertPointFromScreen(input.screenLocation);
    if ((hit = window->hitTest(location, event.get()))) {
      hitWindow = window;
      break;
    }
  }
  if (!hit) {
    return false;
  }

  auto touch = std::shared_ptr<Touch>(new Touch);
  touch->phase_ = TouchPhase::Began;
  touch->timestamp_ = input.timestamp;
  touch->view_ = hit;
  touch->window_ = hitWindow;
  touch->locationInWindow_ = location;
  touch->previousLocationInWindow_ = location;
  touch->force_ = input.force;
  touch->majorRadius_ = input.majorRadius;
  event->touches_ = {touch};

  sequence_ = std::make_unique<Sequence>();
  sequence_->touch = touch;
  sequence_->event = event;
  sequence_->view = hit;
  sequence_->window = hitWindow;
  for (auto node = hit; node; node = node->superview()) {
    for (const auto& recognizer : node->gestureRecognizers()) {
      if (recognizer->isEnabled() && !yieldsToControl(*recognizer, hit)) {
        sequence_->recognizers.push_back(recognizer);
      }
    }
  }
  for (const auto& recognizer : sequence_->recognizers) {
    recognizer->window_ = hitWindow;
    recognizer->locationInWindow_ = location;
    recognizer->stateObserver_ = [this](GestureRecognizer& changed) { recognizerChangedState(changed); };
  }

  // The sequence may end under the callbacks (a recogniser's action can
  // send another touch): hold what is needed locally.
  auto recognizers = sequence_->recognizers;
  const Touches touches{touch};
  for (const auto& recognizer : recognizers) {
    if (!isFinished(recognizer->state())) {
      recognizer->touchesBegan(touches, *event);
    }
  }
  if (sequence_ && sequence_->touch == touch && !sequence_->viewCancelled) {
    hit->touchesBegan(touches, *event);
  }
  return true;
}

void TouchDelivery::update(const TouchInput& input) {
  auto touch = sequence_->touch;
  auto event = sequence_->event;
  auto view = sequence_->view;
  auto recognizers = sequence_->recognizers;
  auto window = touch->window();

  touch->phase_ = input.phase;
  touch->timestamp_ = input.timestamp;
  touch->previousLocationInWindow_ = touch->locationInWindow_;
  touch->locationInWindow_ = window ? window->convertPointFromScreen(input.screenLocation) : input.screenLocation;
  touch->force_ = input.force;
  touch->majorRadius_ = input.majorRadius;
  event->timestamp_ = input.timestamp;

  const Touches touches{touch};
  for (const auto& recognizer : recognizers) {
    recognizer->locationInWindow_ = touch->locationInWindow_;
    if (isFinished(recognizer->state())) {
      continue;
    }
    switch (input.phase) {
      case TouchPhase::Moved:
        recognizer->touchesMoved(touches, *event);
        break;
      case TouchPhase::Ended:
        recognizer->touchesEnded(touches, *event);
        break;
      default:
        recognizer->touchesCancelled(touches, *event);
        break;
    }
  }
  const bool stillCurrent = sequence_ && sequence_->touch == touch;
  if (stillCurrent && !sequence_->viewCancelled) {
    switch (input.phase) {
      case TouchPhase::Moved:
        view->touchesMoved(touches, *event);
        break;
      case TouchPhase::Ended:
        view->touchesEnded(touches, *event);
        break;
      default:
        view->touchesCancelled(touches, *event);
        break;
    }
  }
  if (input.phase != TouchPhase::Moved && sequence_ && sequence_->touch == touch) {
    finish();
  }
}

void TouchDelivery::finish() {
  auto sequence = std::move(sequence_);
  for (const auto& recognizer : sequence->recognizers) {
    recognizer->stateObserver_ = nullptr;
    recognizer->reset();
  }
}

void TouchDelivery::recognizerChangedState(GestureRecognizer& recognizer) {
  if (!sequence_) {
    return;
  }
  const GestureRecognizerState state = recognizer.state();
  if (state != GestureRecognizerState::Began && state != GestureRecognizerState::Recognized) {
    return;
  }
  for (const auto& other : sequence_->recognizers) {
    if (other.get() != &recognizer && other->state() == GestureRecognizerState::Possible) {
      other->setState(GestureRecognizerState::Failed);
    }
  }
  if (recognizer.cancelsTouchesInView()) {
    cancelTouchesInView();
  }
}

void TouchDelivery::cancelTouchesInView() {
  if (!sequence_ || sequence_->viewCancelled) {
    return;
  }
  sequence_->viewCancelled = true;
  auto view = sequence_->view;
  auto event = sequence_->event;
  view->touchesCancelled(Touches{sequence_->touch}, *event);
}

}  // namespace plexora::platform

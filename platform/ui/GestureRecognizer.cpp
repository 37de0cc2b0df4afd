#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

#include "platform/ui/MainThread.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {

GestureRecognizer::ActionToken GestureRecognizer::addAction(Action action) {
  const ActionToken token = nextToken_++;
  actions_.push_back(TargetAction{token, std::move(action)});
  return token;
}

void GestureRecognizer::removeAction(ActionToken token) {
  std::erase_if(actions_, [token](const TargetAction& entry) { return entry.token == token; });
}

Point GestureRecognizer::locationInView(const View* view) const {
  auto window = window_.lock();
  if (!window) {
    return locationInWindow_;
  }
  return window->convertPointToView(locationInWindow_, view);
}

bool GestureRecognizer::shouldBegin() {
  if (auto delegate = delegate_.lock(); delegate && !delegate->gestureRecognizerShouldBegin(*this)) {
    return false;
  }
  if (auto view = view_.lock(); view && !view->gestureRecognizerShouldBegin(*this)) {
    return false;
  }
  return true;
}

void GestureRecognizer::setState(GestureRecognizerState state) {
  assertMainThread();
  auto self = shared_from_this();
  if (state_ == GestureRecognizerState::Possible &&
      (state == GestureRecognizerState::Began || state == GestureRecognizerState::Recognized) && !shouldBegin()) {
    state = GestureRecognizerState::Failed;
  }
  state_ = state;
  if (state != GestureRecognizerState::Possible && state != GestureRecognizerState::Failed) {
    // A copy: an action may add or remove actions.
    const auto actions = actions_;
    for (const auto& entry : actions) {
      if (entry.action) {
        entry.action(*this);
      }
    }
  }
  if (stateObserver_) {
    auto observer = stateObserver_;
    observer(*this);
  }
}

void GestureRecognizer::reset() { state_ = GestureRecognizerState::Possible; }

}  // namespace plexora::platform

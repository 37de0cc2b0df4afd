#include "platform/ui/Control.h"

#include <algorithm>
#include <utility>

#include "platform/ui/MainThread.h"

namespace plexora::platform {

Control::ActionToken Control::addAction(ControlEvents events, Action action) {
  const ActionToken token = nextToken_++;
  actions_.push_back(TargetAction{token, events, std::move(action)});
  return token;
}

void Control::removeAction(ActionToken token) {
  std::erase_if(actions_, [token](const TargetAction& entry) { return entry.token == token; });
}

ControlEvents Control::allControlEvents() const {
  ControlEvents events = 0;
  for (const auto& entry : actions_) {
    events |= entry.events;
  }
  return events;
}

void Control::sendActionsForControlEvents(ControlEvents events, const Event* event) {
  assertMainThread();
  // A copy: an action may add or remove actions. An action may also drop
  // the last reference to the control, which must outlive the loop.
  const auto actions = actions_;
  const auto keepAlive = weak_from_this().lock();
  for (const auto& entry : actions) {
    if ((entry.events & events) != 0 && entry.action) {
      entry.action(*this, event);
    }
  }
}

void Control::setEnabled(bool enabled) {
  if (enabled_ != enabled) {
    enabled_ = enabled;
    stateDidChange();
  }
}

void Control::setHighlighted(bool highlighted) {
  if (highlighted_ != highlighted) {
    highlighted_ = highlighted;
    stateDidChange();
  }
}

void Control::setSelected(bool selected) {
  if (selected_ != selected) {
    selected_ = selected;
    stateDidChange();
  }
}

ControlState Control::state() const {
  ControlState state = kControlStateNormal;
  if (highlighted_) {
    state |= kControlStateHighlighted;
  }
  if (!enabled_) {
    state |= kControlStateDisabled;
  }
  if (selected_) {
    state |= kControlStateSelected;
  }
  return state;
}

bool Control::isInside(const Touches& touches) const {
  return !touches.empty() && pointInside(touches.front()->locationInView(this), nullptr);
}

void Control::touchesBegan(const Touches& touches, const Event& event) {
  if (!enabled_) {
    View::touchesBegan(touches, event);
    return;
  }
  tracking_ = true;
  setHighlighted(true);
  sendActionsForControlEvents(kControlEventTouchDown, &event);
}

void Control::touchesMoved(const Touches& touches, const Event& event) {
  if (!tracking_) {
    View::touchesMoved(touches, event);
    return;
  }
  const bool inside = isInside(touches);
  setHighlighted(inside);
  sendActionsForControlEvents(inside ? kControlEventTouchDragInside : kControlEventTouchDragOutside, &event);
}

void Control::touchesEnded(const Touches& touches, const Event& event) {
  if (!tracking_) {
    View::touchesEnded(touches, event);
    return;
  }
  tracking_ = false;
  const bool inside = isInside(touches);
  setHighlighted(false);
  sendActionsForControlEvents(inside ? kControlEventTouchUpInside : kControlEventTouchUpOutside, &event);
}

void Control::touchesCancelled(const Touches& touches, const Event& event) {
  if (!tracking_) {
    View::touchesCancelled(touches, event);
    return;
  }
  tracking_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(kControlEventTouchCancel, &event);
}

}  // namespace plexora::platform

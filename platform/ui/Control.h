// Controls: views that turn touches into actions for control events.
//
// A touch that begins in an enabled control highlights it and sends
// TouchDown; moves send TouchDragInside or TouchDragOutside; the end sends
// TouchUpInside when it is inside the control's bounds, else
// TouchUpOutside; a cancelled touch sends TouchCancel. A disabled control
// hands its touches on to the next responder. Actions receive the control
// and the touch event (null when sent programmatically).
//
// Thread safety: main thread only.
// Ownership: the control holds its actions until they are removed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/View.h"

namespace plexora::platform {

using ControlEvents = std::uint64_t;
inline constexpr ControlEvents kControlEventTouchDown = 1u << 0;
inline constexpr ControlEvents kControlEventTouchDragInside = 1u << 2;
inline constexpr ControlEvents kControlEventTouchDragOutside = 1u << 3;
inline constexpr ControlEvents kControlEventTouchUpInside = 1u << 6;
inline constexpr ControlEvents kControlEventTouchUpOutside = 1u << 7;
inline constexpr ControlEvents kControlEventTouchCancel = 1u << 8;
inline constexpr ControlEvents kControlEventValueChanged = 1u << 12;

using ControlState = std::uint64_t;
inline constexpr ControlState kControlStateNormal = 0;
inline constexpr ControlState kControlStateHighlighted = 1u << 0;
inline constexpr ControlState kControlStateDisabled = 1u << 1;
inline constexpr ControlState kControlStateSelected = 1u << 2;

class PLEXORA_EXPORT Control : public View {
 public:
  using Action = std::function<void(Control& sender, const Event* event)>;
  using ActionToken = std::uint64_t;

  using View::View;

  ActionToken addAction(ControlEvents events, Action action);
  void removeAction(ActionToken token);
  // The events that have at least one action.
  ControlEvents allControlEvents() const;
  // Runs, in the order they were added, the actions of any of `events`.
  void sendActionsForControlEvents(ControlEvents events, const Event* event = nullptr);

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);
  bool isSelected() const { return selected_; }
  void setSelected(bool selected);
  ControlState state() const;
  // Whether a touch that began in the control is being followed.
  bool isTracking() const { return tracking_; }

  void touchesBegan(const Touches& touches, const Event& event) override;
  void touchesMoved(const Touches& touches, const Event& event) override;
  void touchesEnded(const Touches& touches, const Event& event) override;
  void touchesCancelled(const Touches& touches, const Event& event) override;

 protected:
  // Called after the enabled, highlighted or selected flag changed.
  virtual void stateDidChange() {}

 private:
  struct TargetAction {
    ActionToken token;
    ControlEvents events;
    Action action;
  };

  bool isInside(const Touches& touches) const;

  std::vector<TargetAction> actions_;
  ActionToken nextToken_ = 1;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool selected_ = false;
  bool tracking_ = false;
};

}  // namespace plexora::platform

// Gesture recognisers: attached to a view, they watch the touches that
// begin in that view or its subviews and fire their actions as their state
// changes.
//
// State machine: every recogniser starts Possible. A discrete one (tap)
// moves to Recognized (== Ended) or Failed; a continuous one (long press)
// moves to Began, then Changed any number of times, then Ended or
// Cancelled, or fails while still Possible. Actions fire on Began, Changed,
// Ended and Cancelled. Before leaving Possible for Began or Recognized the
// recogniser asks its delegate and its view (gestureRecognizerShouldBegin);
// a NO makes it fail instead. When one recogniser of a touch sequence
// begins, the others still Possible fail, and, when it cancels touches in
// its view (the default), the touched view gets touchesCancelled and no
// more touches of the sequence. When the sequence ends, every recogniser of
// it is reset to Possible.
//
// Thread safety: main thread only.
// Ownership: the view owns its recognisers; a recogniser holds its view and
// its delegate weakly. Actions are held until removed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Touch.h"

namespace plexora::platform {

class GestureRecognizer;
class View;
class Window;

enum class GestureRecognizerState {
  Possible = 0,
  Began = 1,
  Changed = 2,
  Ended = 3,
  Cancelled = 4,
  Failed = 5,
  Recognized = Ended,
};

class PLEXORA_EXPORT GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer& /*recognizer*/) { return true; }
};

class PLEXORA_EXPORT GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer& recognizer)>;
  using ActionToken = std::uint64_t;

  GestureRecognizer() = default;
  explicit GestureRecognizer(Action action) { addAction(std::move(action)); }
  virtual ~GestureRecognizer() = default;
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  ActionToken addAction(Action action);
  void removeAction(ActionToken token);

  GestureRecognizerState state() const { return state_; }
  std::shared_ptr<View> view() const { return view_.lock(); }

  // A disabled recogniser sees no touches.
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }

  std::shared_ptr<GestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }

  // Where the touch is (or was last) in `view`'s coordinates; null stands
  // for the window.
  Point locationInView(const View* view) const;

  // The touches of the sequence. The base ignores them; subclasses decide
  // the state from them.
  virtual void touchesBegan(const Touches& /*touches*/, const Event& /*event*/) {}
  virtual void touchesMoved(const Touches& /*touches*/, const Event& /*event*/) {}
  virtual void touchesEnded(const Touches& /*touches*/, const Event& /*event*/) {}
  virtual void touchesCancelled(const Touches& /*touches*/, const Event& /*event*/) {}

 protected:
  // Moves the state (see the header comment) and fires the actions.
  void setState(GestureRecognizerState state);
  // Back to Possible after a sequence; subclasses forget their progress
  // (and call the base).
  virtual void reset();

 private:
  friend class View;
  friend class TouchDelivery;

  struct TargetAction {
    ActionToken token;
    Action action;
  };

  bool shouldBegin();

  GestureRecognizerState state_ = GestureRecognizerState::Possible;
  std::weak_ptr<View> view_;
  std::weak_ptr<GestureRecognizerDelegate> delegate_;
  std::vector<TargetAction> actions_;
  ActionToken nextToken_ = 1;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;

  // Kept up to date by the touch delivery.
  Point locationInWindow_;
  std::weak_ptr<Window> window_;
  // Told of every state change while a touch sequence is under way.
  std::function<void(GestureRecognizer&)> stateObserver_;
};

}  // namespace plexora::platform

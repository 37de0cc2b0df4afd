// Touches and touch events as the application delivers them (see
// Application::sendTouch): one Touch object follows one finger from
// TouchPhase::Began to Ended or Cancelled.
//
// Thread safety: main thread only, like the rest of the UI model.
// Ownership: touches and events are shared by the delivery, the responders
// and the gesture recognisers that look at them; a touch holds its view and
// window weakly.
#pragma once

#include <memory>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

class View;
class Window;

enum class TouchPhase { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

class PLEXORA_EXPORT Touch final {
 public:
  Touch(const Touch&) = delete;
  Touch& operator=(const Touch&) = delete;

  TouchPhase phase() const { return phase_; }
  // Seconds of the monotonic clock at the latest change.
  double timestamp() const { return timestamp_; }
  // The view the touch began in (the hit-test answer) and its window.
  std::shared_ptr<View> view() const { return view_.lock(); }
  std::shared_ptr<Window> window() const { return window_.lock(); }
  // In the coordinates of `view`; null stands for the touch's window.
  Point locationInView(const View* view) const;
  Point previousLocationInView(const View* view) const;
  // 0 when the touch screen reports no pressure.
  double force() const { return force_; }
  double majorRadius() const { return majorRadius_; }

 private:
  friend class TouchDelivery;
  Touch() = default;
  Point convertFromWindow(Point point, const View* view) const;

  TouchPhase phase_ = TouchPhase::Began;
  double timestamp_ = 0.0;
  std::weak_ptr<View> view_;
  std::weak_ptr<Window> window_;
  Point locationInWindow_;
  Point previousLocationInWindow_;
  double force_ = 0.0;
  double majorRadius_ = 0.0;
};

using Touches = std::vector<std::shared_ptr<Touch>>;

// One touch event: the touches of the sequence at one moment.
class PLEXORA_EXPORT Event final {
 public:
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  double timestamp() const { return timestamp_; }
  const Touches& allTouches() const { return touches_; }
  // The touches that began in `view` or one of its subviews.
  Touches touchesForView(const View& view) const;

 private:
  friend class TouchDelivery;
  Event() = default;

  double timestamp_ = 0.0;
  Touches touches_;
};

}  // namespace plexora::platform

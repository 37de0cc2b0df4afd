// What fraction of a view the user can actually see: the part of the view
// that lies on its screen, inside every clipping ancestor, and under no
// opaque view drawn in front of it (later siblings of the view or of any
// ancestor, and windows in front of its window on the same screen).
//
// Rectangles are in the screen's coordinate space. A view counts as opaque
// ("blocking") when it is not fully transparent and has a background colour
// that is not; a view with clear background hides nothing itself, but its
// opaque subviews do.
//
// Thread safety: main thread only (it reads the view tree).
// Ownership: the measurement holds its target view strongly.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {
class View;
class Window;
}  // namespace plexora::platform

namespace plexora {

using OVAdRects = std::vector<platform::Rect>;

class OVAdQualityViewabilityMeasurement {
 public:
  static std::shared_ptr<OVAdQualityViewabilityMeasurement> measurementWithTargetView(
      std::shared_ptr<platform::View> view);
  // Measures a new empty view (which is never visible).
  OVAdQualityViewabilityMeasurement();
  explicit OVAdQualityViewabilityMeasurement(std::shared_ptr<platform::View> targetView);

  const std::shared_ptr<platform::View>& targetView() const { return targetView_; }
  void setTargetView(std::shared_ptr<platform::View> view) { targetView_ = std::move(view); }

  // 0 to 1: the visible area over the whole frame's area, so off-screen and
  // clipped parts count as hidden. 0 while the application is not active,
  // for a view that is not visible, and for a displayed alpha below 0.9.
  float viewableRatio() const;

  // The measurement always works in screen coordinates: `relativeToScreen`
  // is true at every call.
  //
  // The rectangles of the opaque views in front of `view` that intersect
  // `targetRect`: later siblings of the view and of every ancestor, then the
  // windows in front of its window.
  static OVAdRects overlappingRectsInView(const platform::View& view, platform::Rect targetRect,
                                          bool relativeToScreen);
  // The rectangles of the opaque views of the tree under `view` that
  // intersect `targetRect`, each clipped to the screen and its ancestors.
  static OVAdRects intersectingRectsInView(const platform::View& view, platform::Rect targetRect,
                                           bool relativeToScreen);
  // The area covered by the rectangles, overlaps counted once.
  static double unionAreaOfRects(const OVAdRects& rects);

 private:
  std::shared_ptr<platform::View> targetView_;
};

// The facts about views, windows and colours the measurement reads.
namespace measurement {

// The colour's last component.
double alpha(const platform::Color& color);
// The application's windows on the window's screen, back to front, the
// window included.
std::vector<std::shared_ptr<platform::Window>> siblingWindows(const platform::Window& window);
// The view's bounds on its window's screen (a window's own screen); the
// zero rectangle for a view outside any window.
platform::Rect screenRect(const platform::View& view);
// screenRect cut to every clipping ancestor and to the screen; the zero
// rectangle under a hidden or fully transparent ancestor, or in a tree whose
// root is not a window.
platform::Rect clippedScreenRect(const platform::View& view);
// The view's alpha times the alpha of every ancestor.
double displayedAlpha(const platform::View& view);
bool isWindow(const platform::View& view);
// Not empty, hidden or fully transparent, and (unless a window) in a
// superview and a window.
bool isVisible(const platform::View& view);
// Not fully transparent and with a background colour that is not.
bool isBlocking(const platform::View& view);

}  // namespace measurement

}  // namespace plexora

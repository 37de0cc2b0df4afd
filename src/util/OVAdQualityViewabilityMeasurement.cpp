#include "util/OVAdQualityViewabilityMeasurement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {

using platform::Rect;
using platform::View;
using platform::Window;

namespace {

// A target whose displayed alpha is this far below 0.9 counts as invisible.
constexpr double kMinimumDisplayedAlpha = 0.9;
constexpr double kDisplayedAlphaTolerance = 0.0001;

void collectIntersectingRects(const View& view, const Rect& targetRect, OVAdRects& rects) {
  if (!measurement::isVisible(view)) {
    return;
  }
  const bool blocking = measurement::isBlocking(view);
  if (blocking) {
    const Rect clipped = measurement::clippedScreenRect(view);
    if (clipped.intersects(targetRect)) {
      rects.push_back(clipped);
    }
    if (view.clipsToBounds()) {
      // Its subviews cannot show outside a rectangle that already counts.
      return;
    }
  }
  for (const auto& subview : view.subviews()) {
    collectIntersectingRects(*subview, targetRect, rects);
  }
}

void collectOverlappingRects(const View& view, const Rect& targetRect, OVAdRects& rects) {
  const std::shared_ptr<View> superview = view.superview();
  std::vector<std::shared_ptr<View>> siblings;
  if (superview) {
    siblings = superview->subviews();
  } else if (const auto* window = dynamic_cast<const Window*>(&view)) {
    for (auto& sibling : measurement::siblingWindows(*window)) {
      siblings.push_back(std::move(sibling));
    }
  } else {
    return;
  }
  const auto self = std::find_if(siblings.begin(), siblings.end(),
                                 [&view](const std::shared_ptr<View>& sibling) { return sibling.get() == &view; });
  if (self != siblings.end()) {
    for (auto front = std::next(self); front != siblings.end(); ++front) {
      collectIntersectingRects(**front, targetRect, rects);
    }
  }
  if (superview) {
    collectOverlappingRects(*superview, targetRect, rects);
  }
}

// A rectangle's edges as indexes into the sorted edge lists.
struct GridSpan {
  std::size_t left;
  std::size_t right;
  std::size_t top;
  std::size_t bottom;
};

std::size_t edgeIndex(const std::vector<double>& edges, double edge) {
  return static_cast<std::size_t>(std::lower_bound(edges.begin(), edges.end(), edge) - edges.begin());
}

bool hasFiniteArea(const Rect& rect) {
  return !rect.isEmpty() && std::isfinite(rect.minX()) && std::isfinite(rect.maxX()) &&
         std::isfinite(rect.minY()) && std::isfinite(rect.maxY());
}

}  // namespace

std::shared_ptr<OVAdQualityViewabilityMeasurement> OVAdQualityViewabilityMeasurement::measurementWithTargetView(
    std::shared_ptr<View> view) {
  return std::make_shared<OVAdQualityViewabilityMeasurement>(std::move(view));
}

OVAdQualityViewabilityMeasurement::OVAdQualityViewabilityMeasurement()
    : OVAdQualityViewabilityMeasurement(std::make_shared<View>()) {}

OVAdQualityViewabilityMeasurement::OVAdQualityViewabilityMeasurement(std::shared_ptr<View> targetView)
    : targetView_(std::move(targetView)) {}

float OVAdQualityViewabilityMeasurement::viewableRatio() const {
  if (platform::Application::shared()->applicationState() != platform::ApplicationState::Active) {
    return 0.0f;
  }
  if (!targetView_ || !measurement::isVisible(*targetView_)) {
    return 0.0f;
  }
  if (kMinimumDisplayedAlpha - measurement::displayedAlpha(*targetView_) > kDisplayedAlphaTolerance) {
    return 0.0f;
  }
  const Rect target = measurement::clippedScreenRect(*targetView_);
  OVAdRects rects = overlappingRectsInView(*targetView_, target, true);
  const double covered = unionAreaOfRects(rects);
  rects.push_back(target);
  const double coveredOrTarget = unionAreaOfRects(rects);
  // The whole frame is the denominator: parts off the screen or clipped away
  // are parts nobody sees.
  const Rect frame = targetView_->frame();
  return static_cast<float>((coveredOrTarget - covered) / (frame.width() * frame.height()));
}

OVAdRects OVAdQualityViewabilityMeasurement::overlappingRectsInView(const View& view, Rect targetRect,
                                                                    bool /*relativeToScreen*/) {
  OVAdRects rects;
  collectOverlappingRects(view, targetRect, rects);
  return rects;
}

OVAdRects OVAdQualityViewabilityMeasurement::intersectingRectsInView(const View& view, Rect targetRect,
                                                                     bool /*relativeToScreen*/) {
  OVAdRects rects;
  collectIntersectingRects(view, targetRect, rects);
  return rects;
}

double OVAdQualityViewabilityMeasurement::unionAreaOfRects(const OVAdRects& rects) {
  // Rectangles without area add nothing; leaving them out also keeps the
  // null rectangle's infinite edges out of the arithmetic.
  OVAdRects areas;
  areas.reserve(rects.size());
  for (const Rect& rect : rects) {
    if (hasFiniteArea(rect)) {
      areas.push_back(rect.standardized());
    }
  }
  if (areas.empty()) {
    return 0.0;
  }

  // Coordinate compression: the sorted edges cut the plane into a grid of
  // strips, each wholly inside or outside every rectangle.
  std::vector<double> xEdges;
  std::vector<double> yEdges;
  xEdges.reserve(areas.size() * 2);
  yEdges.reserve(areas.size() * 2);
  for (const Rect& rect : areas) {
    xEdges.push_back(rect.minX());
    xEdges.push_back(rect.maxX());
    yEdges.push_back(rect.minY());
    yEdges.push_back(rect.maxY());
  }
  std::sort(xEdges.begin(), xEdges.end());
  std::sort(yEdges.begin(), yEdges.end());

  std::vector<GridSpan> spans;
  spans.reserve(areas.size());
  for (const Rect& rect : areas) {
    spans.push_back({edgeIndex(xEdges, rect.minX()), edgeIndex(xEdges, rect.maxX()), edgeIndex(yEdges, rect.minY()),
                     edgeIndex(yEdges, rect.maxY())});
  }

  // The grid is marked one column at a time, so it takes memory linear in
  // the number of rectangles however long the list grows.
  std::vector<std::uint8_t> column(yEdges.size());
  double area = 0.0;
  for (std::size_t x = 0; x + 1 < xEdges.size(); ++x) {
    const double width = xEdges[x + 1] - xEdges[x];
    if (width <= 0.0) {
      continue;
    }
    std::fill(column.begin(), column.end(), std::uint8_t{0});
    bool marked = false;
    for (const GridSpan& span : spans) {
      if (span.left <= x && x < span.right) {
        std::fill(column.begin() + static_cast<std::ptrdiff_t>(span.top),
                  column.begin() + static_cast<std::ptrdiff_t>(span.bottom), std::uint8_t{1});
        marked = true;
      }
    }
    if (!marked) {
      continue;
    }
    double height = 0.0;
    for (std::size_t y = 0; y + 1 < yEdges.size(); ++y) {
      if (column[y] != 0) {
        height += yEdges[y + 1] - yEdges[y];
      }
    }
    area += width * height;
  }
  return area;
}

namespace measurement {

double alpha(const platform::Color& color) { return color.alpha; }

std::vector<std::shared_ptr<Window>> siblingWindows(const Window& window) {
  std::vector<std::shared_ptr<Window>> windows = platform::Application::shared()->windows();
  const std::shared_ptr<platform::Screen> screen = window.screen();
  std::erase_if(windows, [&screen](const std::shared_ptr<Window>& other) { return other->screen() != screen; });
  return windows;
}

Rect screenRect(const View& view) {
  if (!isWindow(view) && !view.window()) {
    return Rect::zero();
  }
  return view.convertRectToScreen(view.bounds());
}

Rect clippedScreenRect(const View& view) {
  Rect rect = screenRect(view);
  std::shared_ptr<View> root;
  for (auto ancestor = view.superview(); ancestor; ancestor = ancestor->superview()) {
    if (ancestor->isHidden() || ancestor->alpha() == 0.0) {
      return Rect::zero();
    }
    if (ancestor->clipsToBounds()) {
      rect = rect.intersection(screenRect(*ancestor));
    }
    root = ancestor;
  }
  const auto* window = dynamic_cast<const Window*>(root ? root.get() : &view);
  if (!window) {
    return Rect::zero();
  }
  const auto screen = window->screen();
  return screen ? rect.intersection(screen->bounds()) : Rect::zero();
}

double displayedAlpha(const View& view) {
  double alpha = view.alpha();
  for (auto ancestor = view.superview(); ancestor; ancestor = ancestor->superview()) {
    alpha *= ancestor->alpha();
  }
  return alpha;
}

bool isWindow(const View& view) { return dynamic_cast<const Window*>(&view) != nullptr; }

bool isVisible(const View& view) {
  if (view.frame().isEmpty() || view.isHidden() || view.alpha() == 0.0) {
    return false;
  }
  if (isWindow(view)) {
    return true;
  }
  return view.superview() && view.window();
}

bool isBlocking(const View& view) {
  const auto& color = view.backgroundColor();
  return view.alpha() != 0.0 && color && alpha(*color) != 0.0;
}

}  // namespace measurement

}  // namespace plexora

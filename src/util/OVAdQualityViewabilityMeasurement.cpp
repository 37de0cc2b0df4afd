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

using platform::Point;
using platform::Rect;
using platform::View;
using platform::Window;

namespace {

// A target whose displayed alpha is this far below 0.9 counts as invisible.
constexpr double kMinimumDisplayedAlpha = 0.9;
constexpr double kDisplayedAlphaTolerance = 0.0001;

// A rectangle by its edges, for the arithmetic of the walk over the tree and
// of the union, which runs for every view and every rectangle of a check.
// It has area only while each maximum edge lies beyond its minimum one, so
// an intersection of rectangles that do not overlap has none, however many
// more it is intersected with.
struct Box {
  double minX;
  double minY;
  double maxX;
  double maxY;

  static Box of(const Rect& rect) {
    const double x = rect.origin.x;
    const double y = rect.origin.y;
    const double right = x + rect.size.width;
    const double bottom = y + rect.size.height;
    return {std::min(x, right), std::min(y, bottom), std::max(x, right), std::max(y, bottom)};
  }
  bool hasArea() const { return maxX > minX && maxY > minY; }
  bool isFinite() const {
    return std::isfinite(minX) && std::isfinite(minY) && std::isfinite(maxX) && std::isfinite(maxY);
  }
  Box intersection(const Box& other) const {
    return {std::max(minX, other.minX), std::max(minY, other.minY), std::min(maxX, other.maxX),
            std::min(maxY, other.maxY)};
  }
  Rect rect() const { return Rect(minX, minY, maxX - minX, maxY - minY); }
};

// Where the subviews of a view land on the screen: the offset that takes a
// point of the view's bounds to the screen, and the part of the screen that
// the view's clipping ancestors (and the view itself, when it clips) leave
// them. Nothing under a hidden or fully transparent view shows at all.
struct SubviewPlacement {
  Point offset;
  Rect clip;
  bool shown = true;
};

// The offset that takes a point of the view's bounds to the screen, for a
// view under a parent whose bounds `parentOffset` takes there. Views only
// translate, so one walk down the tree places every view without walking up
// again for each.
Point placedOffset(const Rect& frame, const Rect& bounds, Point parentOffset) {
  return Point{parentOffset.x + frame.origin.x - bounds.origin.x, parentOffset.y + frame.origin.y - bounds.origin.y};
}

// The view's bounds on the screen.
Rect placedRect(const View& view, Point parentOffset, Point& offset) {
  const Rect bounds = view.bounds();
  offset = placedOffset(view.frame(), bounds, parentOffset);
  const Rect standard = bounds.standardized();
  return Rect(offset.x + standard.origin.x, offset.y + standard.origin.y, standard.size.width, standard.size.height);
}

void collectOpaqueRects(const View& view, Point parentOffset, const Box& clip, const Box& target, OVAdRects& rects) {
  const Rect frame = view.frame();
  if (frame.size.width == 0.0 || frame.size.height == 0.0 || view.isHidden() || view.alpha() == 0.0) {
    return;
  }
  const Rect bounds = view.bounds();
  const Point offset = placedOffset(frame, bounds, parentOffset);
  const Box screen = Box::of(Rect(offset.x + bounds.origin.x, offset.y + bounds.origin.y, bounds.size.width,
                                  bounds.size.height));
  if (measurement::isBlocking(view)) {
    const Box clipped = screen.intersection(clip);
    if (clipped.hasArea() && clipped.intersection(target).hasArea()) {
      rects.push_back(clipped.rect());
    }
    if (view.clipsToBounds()) {
      // Its subviews cannot show outside a rectangle that already counts.
      return;
    }
  }
  const std::vector<std::shared_ptr<View>> subviews = view.subviews();
  if (subviews.empty()) {
    return;
  }
  const Box subviewClip = view.clipsToBounds() ? clip.intersection(screen) : clip;
  for (const auto& subview : subviews) {
    collectOpaqueRects(*subview, offset, subviewClip, target, rects);
  }
}

void collectOpaqueRects(const View& view, const SubviewPlacement& parent, const Rect& targetRect, OVAdRects& rects) {
  if (parent.clip.isNull()) {
    return;
  }
  collectOpaqueRects(view, parent.offset, Box::of(parent.clip), Box::of(targetRect), rects);
}

// A view with its ancestors up to the root of its tree, each placed on the
// root window's screen.
class AncestorChain {
 public:
  explicit AncestorChain(const View& view) {
    for (auto ancestor = view.superview(); ancestor; ancestor = ancestor->superview()) {
      holders_.push_back(ancestor);
    }
    nodes_.reserve(holders_.size() + 1);
    for (auto ancestor = holders_.rbegin(); ancestor != holders_.rend(); ++ancestor) {
      nodes_.push_back(ancestor->get());
    }
    nodes_.push_back(&view);

    root_ = dynamic_cast<const Window*>(nodes_.front());
    screen_ = root_ ? root_->screen() : nullptr;
    if (!screen_) {
      return;
    }
    placements_.reserve(nodes_.size() + 1);
    placements_.push_back({Point{}, screen_->bounds(), true});
    for (const View* node : nodes_) {
      const SubviewPlacement& parent = placements_.back();
      Point offset;
      const Rect screen = placedRect(*node, parent.offset, offset);
      placements_.push_back({offset, node->clipsToBounds() ? parent.clip.intersection(screen) : parent.clip,
                             parent.shown && !node->isHidden() && node->alpha() != 0.0});
    }
  }

  // The tree's root is a window on a screen: only then is anything in it
  // on the screen.
  bool isPlaced() const { return screen_ != nullptr; }

  Rect clippedScreenRect() const {
    if (!isPlaced()) {
      return Rect::zero();
    }
    const SubviewPlacement& parent = placements_[nodes_.size() - 1];
    if (!parent.shown) {
      return Rect::zero();
    }
    Point offset;
    return placedRect(*nodes_.back(), parent.offset, offset).intersection(parent.clip);
  }

  // The later siblings of the view and of each ancestor, nearest first,
  // then the windows in front of the root on the same screen.
  void collectOverlappingRects(const Rect& targetRect, OVAdRects& rects) const {
    if (!isPlaced()) {
      return;
    }
    for (std::size_t level = nodes_.size() - 1; level > 0; --level) {
      const SubviewPlacement& placement = placements_[level];
      if (!placement.shown) {
        continue;
      }
      collectInFront(nodes_[level - 1]->subviews(), nodes_[level], placement, targetRect, rects);
    }
    std::vector<std::shared_ptr<View>> windows;
    for (auto& window : measurement::siblingWindows(*root_)) {
      windows.push_back(std::move(window));
    }
    collectInFront(windows, root_, placements_.front(), targetRect, rects);
  }

  // The view's own tree.
  void collectIntersectingRects(const Rect& targetRect, OVAdRects& rects) const {
    if (!isPlaced()) {
      return;
    }
    const SubviewPlacement& parent = placements_[nodes_.size() - 1];
    if (parent.shown) {
      collectOpaqueRects(*nodes_.back(), parent, targetRect, rects);
    }
  }

 private:
  static void collectInFront(const std::vector<std::shared_ptr<View>>& siblings, const View* view,
                             const SubviewPlacement& placement, const Rect& targetRect, OVAdRects& rects) {
    const auto self = std::find_if(siblings.begin(), siblings.end(),
                                   [view](const std::shared_ptr<View>& sibling) { return sibling.get() == view; });
    if (self == siblings.end()) {
      return;
    }
    for (auto front = std::next(self); front != siblings.end(); ++front) {
      collectOpaqueRects(**front, placement, targetRect, rects);
    }
  }

  std::vector<std::shared_ptr<View>> holders_;
  // From the root down to the view.
  std::vector<const View*> nodes_;
  const Window* root_ = nullptr;
  std::shared_ptr<platform::Screen> screen_;
  // [0]: the screen, where the root lands; [k + 1]: where the subviews of
  // nodes_[k] land.
  std::vector<SubviewPlacement> placements_;
};

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
  const AncestorChain chain(*targetView_);
  const Rect target = chain.clippedScreenRect();
  OVAdRects rects;
  chain.collectOverlappingRects(target, rects);
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
  AncestorChain(view).collectOverlappingRects(targetRect, rects);
  return rects;
}

OVAdRects OVAdQualityViewabilityMeasurement::intersectingRectsInView(const View& view, Rect targetRect,
                                                                     bool /*relativeToScreen*/) {
  OVAdRects rects;
  AncestorChain(view).collectIntersectingRects(targetRect, rects);
  return rects;
}

double OVAdQualityViewabilityMeasurement::unionAreaOfRects(const OVAdRects& rects) {
  // Rectangles without area add nothing; leaving them out also keeps the
  // null rectangle's infinite edges out of the arithmetic.
  std::vector<Box> areas;
  areas.reserve(rects.size());
  for (const Rect& rect : rects) {
    const Box box = Box::of(rect);
    if (box.hasArea() && box.isFinite()) {
      areas.push_back(box);
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
  for (const Box& box : areas) {
    xEdges.push_back(box.minX);
    xEdges.push_back(box.maxX);
    yEdges.push_back(box.minY);
    yEdges.push_back(box.maxY);
  }
  std::sort(xEdges.begin(), xEdges.end());
  std::sort(yEdges.begin(), yEdges.end());

  // Each rectangle enters the grid at its left edge's column and leaves it
  // at its right edge's; a cell of the current column is covered while any
  // rectangle spanning its row is in. Only the current column is kept, so
  // the grid takes memory linear in the number of rectangles however long
  // the list grows.
  std::vector<GridSpan> spans;
  spans.reserve(areas.size());
  for (const Box& box : areas) {
    spans.push_back({edgeIndex(xEdges, box.minX), edgeIndex(xEdges, box.maxX), edgeIndex(yEdges, box.minY),
                     edgeIndex(yEdges, box.maxY)});
  }
  // (column, rectangle, +1 entering or -1 leaving), in column order.
  struct Edge {
    std::size_t column;
    std::size_t span;
    int step;
  };
  std::vector<Edge> edges;
  edges.reserve(spans.size() * 2);
  for (std::size_t index = 0; index < spans.size(); ++index) {
    edges.push_back({spans[index].left, index, 1});
    edges.push_back({spans[index].right, index, -1});
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.column < b.column; });

  std::vector<std::int32_t> coverage(yEdges.size());
  auto edge = edges.begin();
  double area = 0.0;
  for (std::size_t x = 0; x + 1 < xEdges.size(); ++x) {
    for (; edge != edges.end() && edge->column == x; ++edge) {
      const GridSpan& span = spans[edge->span];
      for (std::size_t y = span.top; y < span.bottom; ++y) coverage[y] += edge->step;
    }
    const double width = xEdges[x + 1] - xEdges[x];
    if (width <= 0.0) {
      continue;
    }
    double height = 0.0;
    for (std::size_t y = 0; y + 1 < yEdges.size(); ++y) {
      if (coverage[y] != 0) {
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

Rect clippedScreenRect(const View& view) { return AncestorChain(view).clippedScreenRect(); }

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

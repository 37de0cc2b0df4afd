// Plane geometry of the UI model: points, sizes, rectangles and edge insets,
// in points, with the rectangle rules the views and the library rely on.
//
// A rectangle may have a negative width or height; every query works on its
// standardized form (origin at the minimum corner). The null rectangle
// (origin at infinity, no size) stands for "no rectangle at all", the answer
// of an intersection of disjoint rectangles.
//
// Thread safety: plain values.
#pragma once

#include <iosfwd>

#include "platform/Export.h"

namespace plexora::platform {

struct PLEXORA_EXPORT Point {
  double x = 0.0;
  double y = 0.0;

  bool operator==(const Point&) const = default;
};

struct PLEXORA_EXPORT Size {
  double width = 0.0;
  double height = 0.0;

  bool operator==(const Size&) const = default;
};

// Distances inward from each edge.
struct PLEXORA_EXPORT EdgeInsets {
  double top = 0.0;
  double left = 0.0;
  double bottom = 0.0;
  double right = 0.0;

  bool operator==(const EdgeInsets&) const = default;
};

struct PLEXORA_EXPORT Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(Point origin, Size size) : origin(origin), size(size) {}
  Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

  static Rect zero() { return {}; }
  static Rect null();

  // Memberwise: (0, 0, -1, -1) and (-1, -1, 1, 1) cover the same area but
  // are different rectangles.
  bool operator==(const Rect&) const = default;

  double minX() const;
  double midX() const;
  double maxX() const;
  double minY() const;
  double midY() const;
  double maxY() const;
  // Never negative.
  double width() const;
  double height() const;

  bool isNull() const;
  // Null, or no width, or no height.
  bool isEmpty() const;
  Rect standardized() const;

  // Null when the two share no area and do not touch; rectangles that only
  // touch meet in a rectangle without width or height.
  Rect intersection(const Rect& other) const;
  // The smallest rectangle holding both; a null operand is ignored.
  Rect unionWith(const Rect& other) const;
  // Whether the two share some area (touching edges do not count).
  bool intersects(const Rect& other) const;
  // Half-open: the minimum edges belong to the rectangle, the maximum ones
  // do not.
  bool containsPoint(Point point) const;
  bool containsRect(const Rect& other) const;

  // Moves each vertical edge inward by dx and each horizontal edge by dy
  // (negative values grow the rectangle); null when nothing is left.
  Rect insetBy(double dx, double dy) const;
  Rect inset(const EdgeInsets& insets) const;
  Rect offsetBy(double dx, double dy) const;
};

PLEXORA_EXPORT std::ostream& operator<<(std::ostream& out, const Point& point);
PLEXORA_EXPORT std::ostream& operator<<(std::ostream& out, const Size& size);
PLEXORA_EXPORT std::ostream& operator<<(std::ostream& out, const Rect& rect);

}  // namespace plexora::platform

#include "platform/ui/Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

namespace plexora::platform {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

Rect Rect::null() { return Rect(kInfinity, kInfinity, 0.0, 0.0); }

double Rect::minX() const { return std::min(origin.x, origin.x + size.width); }
double Rect::maxX() const { return std::max(origin.x, origin.x + size.width); }
double Rect::midX() const { return origin.x + size.width / 2.0; }
double Rect::minY() const { return std::min(origin.y, origin.y + size.height); }
double Rect::maxY() const { return std::max(origin.y, origin.y + size.height); }
double Rect::midY() const { return origin.y + size.height / 2.0; }
double Rect::width() const { return std::fabs(size.width); }
double Rect::height() const { return std::fabs(size.height); }

bool Rect::isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }

bool Rect::isEmpty() const { return isNull() || size.width == 0.0 || size.height == 0.0; }

Rect Rect::standardized() const {
  if (isNull()) {
    return null();
  }
  return Rect(minX(), minY(), width(), height());
}

Rect Rect::intersection(const Rect& other) const {
  if (isNull() || other.isNull()) {
    return null();
  }
  const double left = std::max(minX(), other.minX());
  const double right = std::min(maxX(), other.maxX());
  const double top = std::max(minY(), other.minY());
  const double bottom = std::min(maxY(), other.maxY());
  if (right < left || bottom < top) {
    return null();
  }
  return Rect(left, top, right - left, bottom - top);
}

Rect Rect::unionWith(const Rect& other) const {
  if (isNull()) {
    return other.standardized();
  }
  if (other.isNull()) {
    return standardized();
  }
  const double left = std::min(minX(), other.minX());
  const double top = std::min(minY(), other.minY());
  return Rect(left, top, std::max(maxX(), other.maxX()) - left, std::max(maxY(), other.maxY()) - top);
}

bool Rect::intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

bool Rect::containsPoint(Point point) const {
  return !isNull() && point.x >= minX() && point.x < maxX() && point.y >= minY() && point.y < maxY();
}

bool Rect::containsRect(const Rect& other) const {
  if (isNull() || other.isNull()) {
    return false;
  }
  return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() && other.maxY() <= maxY();
}

Rect Rect::insetBy(double dx, double dy) const {
  return inset(EdgeInsets{dy, dx, dy, dx});
}

Rect Rect::inset(const EdgeInsets& insets) const {
  if (isNull()) {
    return null();
  }
  const double newWidth = width() - insets.left - insets.right;
  const double newHeight = height() - insets.top - insets.bottom;
  if (newWidth < 0.0 || newHeight < 0.0) {
    return null();
  }
  return Rect(minX() + insets.left, minY() + insets.top, newWidth, newHeight);
}

Rect Rect::offsetBy(double dx, double dy) const {
  if (isNull()) {
    return null();
  }
  return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

std::ostream& operator<<(std::ostream& out, const Point& point) {
  return out << "(" << point.x << ", " << point.y << ")";
}

std::ostream& operator<<(std::ostream& out, const Size& size) {
  return out << "(" << size.width << " x " << size.height << ")";
}

std::ostream& operator<<(std::ostream& out, const Rect& rect) {
  return out << "(" << rect.origin.x << ", " << rect.origin.y << ", " << rect.size.width << ", "
             << rect.size.height << ")";
}

}  // namespace plexora::platform

// A 2-D affine transform as tracks and layers carry it: x' = a x + c y + tx,
// y' = b x + d y + ty.
//
// Thread safety: a plain value.
#pragma once

#include <algorithm>

#include "platform/ui/Geometry.h"

namespace plexora::platform {

struct AffineTransform {
  double a = 1.0;
  double b = 0.0;
  double c = 0.0;
  double d = 1.0;
  double tx = 0.0;
  double ty = 0.0;

  static AffineTransform identity() { return {}; }
  static AffineTransform zero() { return {0, 0, 0, 0, 0, 0}; }
  bool operator==(const AffineTransform&) const = default;

  // The smallest rectangle holding the transformed corners of `rect`.
  Rect applyTo(const Rect& rect) const {
    const double xs[] = {rect.origin.x, rect.origin.x + rect.size.width};
    const double ys[] = {rect.origin.y, rect.origin.y + rect.size.height};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool first = true;
    for (double x : xs) {
      for (double y : ys) {
        const double px = a * x + c * y + tx;
        const double py = b * x + d * y + ty;
        minX = first ? px : std::min(minX, px);
        maxX = first ? px : std::max(maxX, px);
        minY = first ? py : std::min(minY, py);
        maxY = first ? py : std::max(maxY, py);
        first = false;
      }
    }
    return Rect(minX, minY, maxX - minX, maxY - minY);
  }
};

}  // namespace plexora::platform

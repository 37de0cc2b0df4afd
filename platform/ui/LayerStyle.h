// What a view's layer adds to its picture besides the view's own drawing:
// a gradient over the background, and a mask that keeps only a rectangle
// with some corners rounded.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Export.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

// Corners of a rectangle, combined with |.
using RectCorner = std::uint64_t;
inline constexpr RectCorner kRectCornerTopLeft = 1u << 0;
inline constexpr RectCorner kRectCornerTopRight = 1u << 1;
inline constexpr RectCorner kRectCornerBottomLeft = 1u << 2;
inline constexpr RectCorner kRectCornerBottomRight = 1u << 3;
inline constexpr RectCorner kRectCornerAllCorners = ~RectCorner{0};

// A linear gradient filling the view's bounds rectangle, drawn over its
// background colour. Points are in unit coordinates of the rectangle ((0,
// 0) top left, (1, 1) bottom right). Without locations, or with a number of
// locations other than the number of colours, the colours are evenly
// spaced from the start point (0) to the end point (1). Beyond the two
// points the end colours continue. One colour fills the rectangle; none
// draws nothing.
struct PLEXORA_EXPORT GradientLayer {
  std::vector<Color> colors;
  std::vector<double> locations;
  Point startPoint{0.5, 0.0};
  Point endPoint{0.5, 1.0};

  bool operator==(const GradientLayer&) const = default;
};

// Keeps only what lies inside `rect` (in the view's layer coordinates: the
// top-left of its frame is (0, 0), whatever its bounds origin), with the
// given corners rounded by `radius` (at most half the shorter side).
struct PLEXORA_EXPORT RoundedCornerMask {
  Rect rect;
  RectCorner corners = kRectCornerAllCorners;
  double radius = 0.0;

  bool operator==(const RoundedCornerMask&) const = default;
};

}  // namespace plexora::platform

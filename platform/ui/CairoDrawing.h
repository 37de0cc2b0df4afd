// Cairo helpers of the renderer and the views that draw: colours, rounded
// rectangles and the passage of images between the UI model's straight
// RGBA and Cairo's premultiplied ARGB.
//
// An internal header of platform/ui.
// Thread safety: callable from any thread on values nobody else changes.
#pragma once

#include <cairo.h>

#include <memory>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"
#include "platform/ui/LayerStyle.h"

namespace plexora::platform::drawing {

struct SurfaceDestroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

// Cairo's own limit on either side of an image surface.
inline constexpr std::uint32_t kMaxSurfaceSide = 32767;

// Components clamped to 0...1 (anything not a number to 0).
void setSourceColor(cairo_t* cairo, Color color);

// A closed rectangle path whose `corners` are rounded by `radius` (at most
// half the shorter side); a plain rectangle when the radius is not above 0.
void addRoundedRect(cairo_t* cairo, Rect rect, double radius, RectCorner corners = kRectCornerAllCorners);

// An ARGB surface of the image's pixels; null when Cairo cannot make one.
SurfacePtr surfaceFromImage(const Image& image);
// An image of an ARGB surface's pixels at `scale`; null when there is none.
std::shared_ptr<Image> imageFromSurface(cairo_surface_t* surface, double scale);

// The whole image stretched over `rect`, its edges kept sharp.
void drawImage(cairo_t* cairo, const Image& image, Rect rect);

}  // namespace plexora::platform::drawing

#include "platform/ui/CairoDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace plexora::platform::drawing {
namespace {

double clampComponent(double component) { return component > 0.0 ? std::min(component, 1.0) : 0.0; }

std::uint8_t premultiply(std::uint8_t component, std::uint8_t alpha) {
  return static_cast<std::uint8_t>((component * alpha + 127) / 255);
}

std::uint8_t unpremultiply(std::uint8_t component, std::uint8_t alpha) {
  return static_cast<std::uint8_t>(std::min(255, (component * 255 + alpha / 2) / alpha));
}

}  // namespace

void setSourceColor(cairo_t* cairo, Color color) {
  cairo_set_source_rgba(cairo, clampComponent(color.red), clampComponent(color.green), clampComponent(color.blue),
                        clampComponent(color.alpha));
}

void addRoundedRect(cairo_t* cairo, Rect rect, double radius, RectCorner corners) {
  const Rect r = rect.standardized();
  const double limit = std::min(r.width(), r.height()) / 2.0;
  const double round = radius > 0.0 ? std::min(radius, limit) : 0.0;
  auto radiusAt = [&](RectCorner corner) { return (corners & corner) != 0 ? round : 0.0; };
  constexpr double kQuarter = std::numbers::pi / 2.0;
  cairo_new_sub_path(cairo);
  const double topLeft = radiusAt(kRectCornerTopLeft);
  const double topRight = radiusAt(kRectCornerTopRight);
  const double bottomRight = radiusAt(kRectCornerBottomRight);
  const double bottomLeft = radiusAt(kRectCornerBottomLeft);
  // Clockwise from the top-left corner; an arc of radius 0 is just its
  // corner point.
  cairo_arc(cairo, r.minX() + topLeft, r.minY() + topLeft, topLeft, 2 * kQuarter, 3 * kQuarter);
  cairo_arc(cairo, r.maxX() - topRight, r.minY() + topRight, topRight, 3 * kQuarter, 4 * kQuarter);
  cairo_arc(cairo, r.maxX() - bottomRight, r.maxY() - bottomRight, bottomRight, 0, kQuarter);
  cairo_arc(cairo, r.minX() + bottomLeft, r.maxY() - bottomLeft, bottomLeft, kQuarter, 2 * kQuarter);
  cairo_close_path(cairo);
}

SurfacePtr surfaceFromImage(const Image& image) {
  const std::uint32_t width = image.pixelWidth();
  const std::uint32_t height = image.pixelHeight();
  if (width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
  const auto rgba = image.rgba();
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* from = rgba.data() + std::size_t{y} * width * Image::kBytesPerPixel;
    auto* to = data + y * stride;
    for (std::uint32_t x = 0; x < width; ++x, from += Image::kBytesPerPixel, to += 4) {
      const std::uint8_t alpha = from[3];
      const std::uint32_t argb = std::uint32_t{alpha} << 24 | std::uint32_t{premultiply(from[0], alpha)} << 16 |
                                 std::uint32_t{premultiply(from[1], alpha)} << 8 | premultiply(from[2], alpha);
      std::memcpy(to, &argb, sizeof argb);  // Cairo keeps pixels in native byte order.
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

std::shared_ptr<Image> imageFromSurface(cairo_surface_t* surface, double scale) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  if (data == nullptr || width <= 0 || height <= 0) return nullptr;
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
  Bytes rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * Image::kBytesPerPixel);
  std::uint8_t* to = rgba.data();
  for (int y = 0; y < height; ++y) {
    const unsigned char* from = data + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x, from += 4, to += Image::kBytesPerPixel) {
      std::uint32_t argb;
      std::memcpy(&argb, from, sizeof argb);
      const auto alpha = static_cast<std::uint8_t>(argb >> 24);
      const auto red = static_cast<std::uint8_t>(argb >> 16);
      const auto green = static_cast<std::uint8_t>(argb >> 8);
      const auto blue = static_cast<std::uint8_t>(argb);
      // Opaque pixels, the common case, need no division.
      if (alpha == 255) {
        to[0] = red;
        to[1] = green;
        to[2] = blue;
      } else if (alpha == 0) {
        to[0] = to[1] = to[2] = 0;
      } else {
        to[0] = unpremultiply(red, alpha);
        to[1] = unpremultiply(green, alpha);
        to[2] = unpremultiply(blue, alpha);
      }
      to[3] = alpha;
    }
  }
  return Image::fromRGBA(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), scale, std::move(rgba));
}

void drawImage(cairo_t* cairo, const Image& image, Rect rect) {
  const Rect r = rect.standardized();
  if (r.isEmpty() || !std::isfinite(r.width()) || !std::isfinite(r.height())) return;
  const SurfacePtr surface = surfaceFromImage(image);
  if (!surface) return;
  cairo_save(cairo);
  cairo_translate(cairo, r.minX(), r.minY());
  cairo_scale(cairo, r.width() / image.pixelWidth(), r.height() / image.pixelHeight());
  cairo_set_source_surface(cairo, surface.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
  // Padding keeps the edge pixels from fading into the transparent
  // surroundings when the image is scaled.
  cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
  cairo_rectangle(cairo, 0, 0, image.pixelWidth(), image.pixelHeight());
  cairo_fill(cairo);
  cairo_restore(cairo);
}

}  // namespace plexora::platform::drawing

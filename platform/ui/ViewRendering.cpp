#include "platform/ui/ViewRendering.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/CairoDrawing.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace plexora::platform {
namespace {

using drawing::addRoundedRect;
using drawing::setSourceColor;

bool isFinite(Rect rect) {
  return std::isfinite(rect.minX()) && std::isfinite(rect.minY()) && std::isfinite(rect.width()) &&
         std::isfinite(rect.height());
}

bool isFinite(Point point) { return std::isfinite(point.x) && std::isfinite(point.y); }

double unitOffset(double location) { return location > 0.0 ? std::min(location, 1.0) : 0.0; }

// Fills the current clip.
void paintGradient(cairo_t* cairo, const GradientLayer& gradient, Size size) {
  const auto& colors = gradient.colors;
  if (colors.empty() || !isFinite(gradient.startPoint) || !isFinite(gradient.endPoint)) return;
  if (colors.size() == 1) {
    setSourceColor(cairo, colors.front());
    cairo_paint(cairo);
    return;
  }
  cairo_pattern_t* pattern =
      cairo_pattern_create_linear(gradient.startPoint.x * size.width, gradient.startPoint.y * size.height,
                                  gradient.endPoint.x * size.width, gradient.endPoint.y * size.height);
  const bool evenlySpaced = gradient.locations.size() != colors.size();
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const double offset = evenlySpaced ? static_cast<double>(i) / static_cast<double>(colors.size() - 1)
                                       : unitOffset(gradient.locations[i]);
    const Color& c = colors[i];
    cairo_pattern_add_color_stop_rgba(pattern, offset, unitOffset(c.red), unitOffset(c.green), unitOffset(c.blue),
                                      unitOffset(c.alpha));
  }
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_source(cairo, pattern);
  cairo_paint(cairo);
  cairo_pattern_destroy(pattern);
}

// The border lies inside the bounds and follows the corner radius.
void strokeBorder(cairo_t* cairo, const View& view, Rect layerRect) {
  const double width = view.borderWidth();
  if (width <= 0.0) return;
  const double radius = view.cornerRadius();
  addRoundedRect(cairo, layerRect, radius);
  const Rect inner = layerRect.insetBy(width, width);
  if (inner.width() > 0.0 && inner.height() > 0.0) {
    addRoundedRect(cairo, inner, std::max(0.0, radius - width));
  }
  cairo_set_fill_rule(cairo, CAIRO_FILL_RULE_EVEN_ODD);
  setSourceColor(cairo, view.borderColor());
  cairo_fill(cairo);
}

void drawTree(cairo_t* cairo, const View& view);

// Where a view and its subviews can leave paint, in its layer's space (the
// top left of its frame at (0, 0)).
Rect paintedExtent(const View& view) {
  const Rect bounds = view.bounds();
  Rect extent(0, 0, bounds.width(), bounds.height());
  if (view.clipsToBounds()) return extent;
  for (const auto& subview : view.subviews()) {
    const Rect frame = subview->frame();
    if (subview->isHidden() || !(subview->alpha() > 0.0) || !isFinite(frame)) continue;
    extent = extent.unionWith(
        paintedExtent(*subview).offsetBy(frame.minX() - bounds.minX(), frame.minY() - bounds.minY()));
  }
  return extent;
}

// Clips to the extent widened to whole device pixels, so the clip's edges
// cut no pixel the view paints and leave every pixel as it was.
void clipToPixelsAround(cairo_t* cairo, Rect extent) {
  double left = extent.minX(), top = extent.minY(), right = extent.maxX(), bottom = extent.maxY();
  cairo_user_to_device(cairo, &left, &top);
  cairo_user_to_device(cairo, &right, &bottom);
  cairo_matrix_t matrix;
  cairo_get_matrix(cairo, &matrix);
  cairo_identity_matrix(cairo);
  const double x = std::floor(std::min(left, right)), y = std::floor(std::min(top, bottom));
  cairo_rectangle(cairo, x, y, std::ceil(std::max(left, right)) - x, std::ceil(std::max(top, bottom)) - y);
  cairo_set_matrix(cairo, &matrix);
  cairo_clip(cairo);
}

// Subviews from back to front, each at its frame in this view's bounds.
void drawSubviews(cairo_t* cairo, const View& view) {
  for (const auto& subview : view.subviews()) {
    const Rect frame = subview->frame();
    if (!isFinite(frame)) continue;
    cairo_save(cairo);
    cairo_translate(cairo, frame.minX(), frame.minY());
    drawTree(cairo, *subview);
    cairo_restore(cairo);
  }
}

// Draws the view with the user space at its layer: (0, 0) is the top left
// of its frame.
void drawTree(cairo_t* cairo, const View& view) {
  const double alpha = view.alpha();
  if (view.isHidden() || !(alpha > 0.0)) return;
  const Rect bounds = view.bounds();
  const Rect layerRect(0, 0, bounds.width(), bounds.height());
  const double radius = view.cornerRadius();
  cairo_save(cairo);
  if (const auto& mask = view.mask()) {
    addRoundedRect(cairo, mask->rect, mask->radius, mask->corners);
    cairo_clip(cairo);
  }
  // A translucent view fades with its subviews as one picture, which needs
  // to be no larger than what they paint (cairo sizes it by the clip).
  const bool faded = alpha < 1.0;
  if (faded) {
    clipToPixelsAround(cairo, paintedExtent(view));
    cairo_push_group(cairo);
  }
  if (const auto& background = view.backgroundColor()) {
    addRoundedRect(cairo, layerRect, radius);
    setSourceColor(cairo, *background);
    cairo_fill(cairo);
  }
  if (const auto& gradient = view.gradientLayer()) {
    cairo_save(cairo);
    addRoundedRect(cairo, layerRect, radius);
    cairo_clip(cairo);
    paintGradient(cairo, *gradient, layerRect.size);
    cairo_restore(cairo);
  }
  cairo_save(cairo);
  if (view.clipsToBounds()) {
    addRoundedRect(cairo, layerRect, radius);
    cairo_clip(cairo);
  }
  cairo_translate(cairo, -bounds.minX(), -bounds.minY());
  {
    GraphicsContext context(cairo, bounds);
    view.draw(context, bounds);
  }
  drawSubviews(cairo, view);
  cairo_restore(cairo);
  strokeBorder(cairo, view, layerRect);
  if (faded) {
    cairo_pop_group_to_source(cairo);
    cairo_paint_with_alpha(cairo, alpha);
  }
  cairo_restore(cairo);
}

std::uint32_t pixelsFor(double points, double scale) {
  const double pixels = std::ceil(points * scale);
  return pixels >= 1.0 && pixels <= drawing::kMaxSurfaceSide ? static_cast<std::uint32_t>(pixels) : 0;
}

}  // namespace

std::shared_ptr<Image> renderView(const View& view, Rect rect, double scale, std::optional<Color> backdrop) {
  if (!(scale > 0.0) || !std::isfinite(scale) || !isFinite(rect)) return nullptr;
  const Rect area = rect.standardized();
  const std::uint32_t width = pixelsFor(area.width(), scale);
  const std::uint32_t height = pixelsFor(area.height(), scale);
  if (width == 0 || height == 0 || !isAllowedImageSize(width, height)) return nullptr;
  const drawing::SurfacePtr surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_t* cairo = cairo_create(surface.get());
  if (backdrop) {
    setSourceColor(cairo, *backdrop);
    cairo_paint(cairo);
  }
  cairo_scale(cairo, scale, scale);
  // The layer's (0, 0) is the bounds origin.
  const Rect bounds = view.bounds();
  cairo_translate(cairo, bounds.minX() - area.minX(), bounds.minY() - area.minY());
  drawTree(cairo, view);
  cairo_destroy(cairo);
  return drawing::imageFromSurface(surface.get(), scale);
}

}  // namespace plexora::platform

#include "platform/ui/GraphicsContext.h"

#include <cairo.h>

#include <cmath>

#include "platform/ui/Blur.h"
#include "platform/ui/CairoDrawing.h"

namespace plexora::platform {

GraphicsContext::GraphicsContext(cairo_t* cairo, Rect bounds) : cairo_(cairo), bounds_(bounds) {}

GraphicsContext::~GraphicsContext() {
  if (grouped_) {
    cairo_pop_group_to_source(cairo_);
    cairo_set_operator(cairo_, CAIRO_OPERATOR_OVER);
    cairo_paint(cairo_);
  }
  if (clipped_) cairo_restore(cairo_);
}

cairo_t* GraphicsContext::cairo() {
  if (!clipped_) {
    cairo_save(cairo_);
    cairo_rectangle(cairo_, bounds_.minX(), bounds_.minY(), bounds_.width(), bounds_.height());
    cairo_clip(cairo_);
    clipped_ = true;
  }
  return cairo_;
}

void GraphicsContext::beginPicture() {
  cairo();
  if (!grouped_) {
    cairo_push_group(cairo_);
    grouped_ = true;
  }
}

void GraphicsContext::moveTo(Point point) {
  beginPicture();
  cairo_move_to(cairo_, point.x, point.y);
}

void GraphicsContext::lineTo(Point point) {
  beginPicture();
  cairo_line_to(cairo_, point.x, point.y);
}

void GraphicsContext::curveTo(Point control1, Point control2, Point end) {
  beginPicture();
  cairo_curve_to(cairo_, control1.x, control1.y, control2.x, control2.y, end.x, end.y);
}

void GraphicsContext::closePath() {
  beginPicture();
  cairo_close_path(cairo_);
}

void GraphicsContext::addRect(Rect rect) {
  beginPicture();
  cairo_rectangle(cairo_, rect.minX(), rect.minY(), rect.width(), rect.height());
}

void GraphicsContext::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  if (!(radius >= 0.0) || !std::isfinite(radius) || !std::isfinite(center.x) || !std::isfinite(center.y) ||
      !std::isfinite(startAngle) || !std::isfinite(endAngle)) {
    return;
  }
  beginPicture();
  // Cairo's angles grow towards +y, which is clockwise on a screen whose y
  // points down.
  if (clockwise) {
    cairo_arc(cairo_, center.x, center.y, radius, startAngle, endAngle);
  } else {
    cairo_arc_negative(cairo_, center.x, center.y, radius, startAngle, endAngle);
  }
}

void GraphicsContext::setLineWidth(double width) { lineWidth_ = width > 0.0 && std::isfinite(width) ? width : 1.0; }

void GraphicsContext::applyStrokeStyle(cairo_t* cairo) const {
  cairo_set_line_width(cairo, lineWidth_);
  cairo_set_line_cap(cairo, lineCap_ == LineCap::Round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
}

void GraphicsContext::paintShadow(const cairo_path_t& path, bool stroke) {
  // The shadow is the shape drawn alone into a picture of the bounds at
  // the target's pixel density, blurred, then laid under the shape.
  double unitX = 1.0;
  double unitY = 0.0;
  cairo_user_to_device_distance(cairo_, &unitX, &unitY);
  const double scale = std::hypot(unitX, unitY);
  const double width = std::ceil(bounds_.width() * scale);
  const double height = std::ceil(bounds_.height() * scale);
  if (!(scale > 0.0) || !(width >= 1.0) || !(height >= 1.0) || width > drawing::kMaxSurfaceSide ||
      height > drawing::kMaxSurfaceSide) {
    return;
  }
  const drawing::SurfacePtr surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)));
  cairo_t* shape = cairo_create(surface.get());
  cairo_scale(shape, scale, scale);
  cairo_translate(shape, shadow_->offset.width - bounds_.minX(), shadow_->offset.height - bounds_.minY());
  cairo_append_path(shape, &path);
  drawing::setSourceColor(shape, shadow_->color);
  if (stroke) {
    applyStrokeStyle(shape);
    cairo_stroke(shape);
  } else {
    cairo_fill(shape);
  }
  cairo_destroy(shape);
  cairo_surface_flush(surface.get());
  const auto picture = drawing::imageFromSurface(surface.get(), scale);
  const auto blurred = picture ? gaussianBlur(*picture, shadow_->blur / 2.0 * scale) : nullptr;
  if (!blurred) return;
  cairo_save(cairo_);
  cairo_new_path(cairo_);
  cairo_set_operator(cairo_, CAIRO_OPERATOR_OVER);
  drawing::drawImage(cairo_, *blurred, bounds_);
  cairo_restore(cairo_);
}

void GraphicsContext::paintPath(Color color, bool stroke) {
  beginPicture();
  if (shadow_) {
    cairo_path_t* path = cairo_copy_path(cairo_);
    paintShadow(*path, stroke);
    cairo_new_path(cairo_);
    cairo_append_path(cairo_, path);
    cairo_path_destroy(path);
  }
  drawing::setSourceColor(cairo_, color);
  cairo_set_operator(cairo_, blendMode_ == BlendMode::SourceAtop ? CAIRO_OPERATOR_ATOP : CAIRO_OPERATOR_OVER);
  if (stroke) {
    applyStrokeStyle(cairo_);
    cairo_stroke(cairo_);
  } else {
    cairo_fill(cairo_);
  }
}

void GraphicsContext::fillPath() { paintPath(fillColor_, false); }

void GraphicsContext::strokePath() { paintPath(strokeColor_, true); }

void GraphicsContext::fillRect(Rect rect) {
  beginPicture();
  cairo_new_path(cairo_);
  addRect(rect);
  fillPath();
}

void GraphicsContext::strokeRect(Rect rect) {
  beginPicture();
  cairo_new_path(cairo_);
  addRect(rect);
  strokePath();
}

}  // namespace plexora::platform

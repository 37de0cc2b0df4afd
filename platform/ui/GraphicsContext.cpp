#include "platform/ui/GraphicsContext.h"

#include <cairo.h>

#include <cmath>

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

void GraphicsContext::setLineWidth(double width) { lineWidth_ = width > 0.0 && std::isfinite(width) ? width : 1.0; }

void GraphicsContext::paintPath(Color color, bool stroke) {
  beginPicture();
  drawing::setSourceColor(cairo_, color);
  cairo_set_operator(cairo_, blendMode_ == BlendMode::SourceAtop ? CAIRO_OPERATOR_ATOP : CAIRO_OPERATOR_OVER);
  if (stroke) {
    cairo_set_line_width(cairo_, lineWidth_);
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

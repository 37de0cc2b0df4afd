// The small 2D drawing context a view draws its own content with
// (View::draw): paths of straight lines, cubic curves and arcs, filled or
// stroked in a colour, optionally over a blurred shadow, in the view's
// bounds coordinates.
//
// Like a view's own backing store, what a view draws is clipped to its
// bounds and kept as one picture until the view has finished drawing, so a
// blend mode acts on the view's own drawing only, never on the views
// behind it. Defaults: black fill and stroke, line width 1, normal
// blending, butt line caps, no shadow, an empty path. Filling or stroking
// uses the current path up and starts a new one.
//
// Thread safety: the thread that renders (the main thread for snapshots).
// Ownership: the renderer makes one for each view it draws and finishes it
// when it is destroyed; views only borrow it during draw().
#pragma once

#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

typedef struct _cairo cairo_t;
typedef struct cairo_path cairo_path_t;

namespace plexora::platform {

enum class LineCap {
  Butt,
  Round,
};

// What fills and strokes cast below them: their shape moved by `offset`,
// blurred by `blur` points (a Gaussian whose deviation is half of it) and
// painted in `color`.
struct Shadow {
  Size offset;
  double blur = 0.0;
  Color color = Color::black();
};

enum class BlendMode {
  Normal,
  // Paints only where the view has already drawn, keeping that coverage.
  SourceAtop,
};

class GraphicsContext final {
 public:
  // For the renderer: draws into `cairo`, whose user space is the view's
  // bounds coordinates.
  GraphicsContext(cairo_t* cairo, Rect bounds);
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  void moveTo(Point point);
  // Without a current point, a line begins where it ends (as a move).
  void lineTo(Point point);
  void curveTo(Point control1, Point control2, Point end);
  void closePath();
  void addRect(Rect rect);
  // An arc of the circle around `center` from `startAngle` to `endAngle`
  // (radians from the +x axis towards +y, which points down), clockwise on
  // the screen or against it; a line joins it to the current point. A
  // radius below 0 or a value that is not finite adds nothing.
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);

  void setFillColor(Color color) { fillColor_ = color; }
  void setStrokeColor(Color color) { strokeColor_ = color; }
  // Not above 0 (or not a number): 1.
  void setLineWidth(double width);
  void setBlendMode(BlendMode mode) { blendMode_ = mode; }
  void setLineCap(LineCap cap) { lineCap_ = cap; }
  // None removes the shadow.
  void setShadow(std::optional<Shadow> shadow) { shadow_ = shadow; }

  void fillPath();
  void strokePath();
  void fillRect(Rect rect);
  void strokeRect(Rect rect);

  // The Cairo context for the platform's own views (labels, image views),
  // clipped to the bounds like everything a view draws.
  cairo_t* cairo();
  // The same without the clip, for a layer's contents, which the bounds do
  // not clip (an image view's image).
  cairo_t* unclippedCairo() { return cairo_; }

 private:
  // Clips to the bounds on first use, then keeps the view's drawing apart
  // until the context finishes.
  void beginPicture();
  void paintPath(Color color, bool stroke);
  // The path, painted as the current fill or stroke would be, as its
  // shadow. Leaves the context without a path.
  void paintShadow(const cairo_path_t& path, bool stroke);
  void applyStrokeStyle(cairo_t* cairo) const;

  cairo_t* cairo_;
  Rect bounds_;
  bool clipped_ = false;
  bool grouped_ = false;
  Color fillColor_ = Color::black();
  Color strokeColor_ = Color::black();
  double lineWidth_ = 1.0;
  BlendMode blendMode_ = BlendMode::Normal;
  LineCap lineCap_ = LineCap::Butt;
  std::optional<Shadow> shadow_;
};

}  // namespace plexora::platform

// Pictures of view trees: a view and its subviews drawn with Cairo as they
// would show on screen (see View.h for what a view shows and in which
// order).
//
// Thread safety: main thread only, like the views.
// Ownership: the caller owns the image.
#pragma once

#include <memory>
#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

class Image;
class View;

// The part `rect` of the view (in its bounds coordinates) and its subviews
// at `scale` pixels a point, each side rounded up to whole pixels, over
// `backdrop` (transparent without one). The view's own hidden flag, alpha
// and mask count as for any other view: a hidden view gives a picture of
// the backdrop alone. Null for an empty rectangle, a scale that
// is not a positive finite number, or a picture too large to make.
std::shared_ptr<Image> renderView(const View& view, Rect rect, double scale,
                                  std::optional<Color> backdrop = std::nullopt);

}  // namespace plexora::platform

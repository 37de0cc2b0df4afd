// The touch rule of a template's header and details strips: they lie above
// the cover and the ad-choices badge, so they refuse the points over those
// two and let them through to the views below.
//
// Thread safety: main thread only.
#pragma once

#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace plexora {

// Whether a strip takes the point (in the strip's coordinates): everywhere
// but over its template's badge and cover; everywhere when its superview is
// not a template.
bool OVNativeAdStripTakesPoint(const platform::View& strip, platform::Point point);

}  // namespace plexora

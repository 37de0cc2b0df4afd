// A view that only shades what lies behind it with a gradient, so controls
// and text over video or scrolling content stay readable. It never takes
// touches: they pass through to the views behind it.
//
// Thread safety: main thread only.
// Ownership: the caller owns the view it makes.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace plexora {

class OVGradientView final : public platform::View {
 public:
  // Colours from top to bottom, evenly spaced, over a clear background.
  static std::shared_ptr<OVGradientView> newWithColors(const std::vector<platform::Color>& colors);
  static std::shared_ptr<OVGradientView> newWithColors(const std::vector<platform::Color>& colors, double opacity);
  // No locations means even spacing; the points are in unit coordinates.
  static std::shared_ptr<OVGradientView> newWithBackgroundColor(std::optional<platform::Color> backgroundColor,
                                                                const std::vector<platform::Color>& colors,
                                                                const std::vector<double>& locations,
                                                                platform::Point startPoint, platform::Point endPoint,
                                                                double opacity);
  // Black at the top fading to clear. The opacity is not applied: the view
  // is made by newWithColors and keeps its full opacity.
  static std::shared_ptr<OVGradientView> shadowGradientViewWithOpacity(double opacity);
  static std::shared_ptr<OVGradientView> shadowGradientView();

  void updateGradientWithBackgroundColor(std::optional<platform::Color> backgroundColor,
                                         const std::vector<platform::Color>& colors,
                                         const std::vector<double>& locations, platform::Point startPoint,
                                         platform::Point endPoint, double opacity);

  OVGradientView();
};

}  // namespace plexora

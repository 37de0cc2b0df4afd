#include "adapters/views/nativead/OVGradientView.h"

namespace plexora {

namespace {
constexpr double kShadowOpacity = 0.25;
}  // namespace

OVGradientView::OVGradientView() : platform::View(platform::Rect::zero()) {
  setUserInteractionEnabled(false);
  setGradientLayer(platform::GradientLayer{});
}

void OVGradientView::updateGradientWithBackgroundColor(std::optional<platform::Color> backgroundColor,
                                                       const std::vector<platform::Color>& colors,
                                                       const std::vector<double>& locations,
                                                       platform::Point startPoint, platform::Point endPoint,
                                                       double opacity) {
  setBackgroundColor(backgroundColor);
  platform::GradientLayer layer;
  layer.colors = colors;
  layer.locations = locations;
  layer.startPoint = startPoint;
  layer.endPoint = endPoint;
  setGradientLayer(std::move(layer));
  // The gradient is this view's own layer, so the layer's opacity is the
  // view's.
  setAlpha(opacity);
}

std::shared_ptr<OVGradientView> OVGradientView::newWithBackgroundColor(std::optional<platform::Color> backgroundColor,
                                                                       const std::vector<platform::Color>& colors,
                                                                       const std::vector<double>& locations,
                                                                       platform::Point startPoint,
                                                                       platform::Point endPoint, double opacity) {
  auto view = std::make_shared<OVGradientView>();
  view->updateGradientWithBackgroundColor(backgroundColor, colors, locations, startPoint, endPoint, opacity);
  return view;
}

std::shared_ptr<OVGradientView> OVGradientView::newWithColors(const std::vector<platform::Color>& colors,
                                                              double opacity) {
  return newWithBackgroundColor(platform::Color::clear(), colors, {}, {0.5, 0.0}, {0.5, 1.0}, opacity);
}

std::shared_ptr<OVGradientView> OVGradientView::newWithColors(const std::vector<platform::Color>& colors) {
  return newWithColors(colors, 1.0);
}

std::shared_ptr<OVGradientView> OVGradientView::shadowGradientViewWithOpacity(double /*opacity*/) {
  return newWithColors({platform::Color::black(), platform::Color::clear()});
}

std::shared_ptr<OVGradientView> OVGradientView::shadowGradientView() { return shadowGradientViewWithOpacity(kShadowOpacity); }

}  // namespace plexora

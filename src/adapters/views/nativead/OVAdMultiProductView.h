// The carousel of a multi-product native ad: a horizontally paged strip
// with one cell per product, each showing its product image, measuring its
// own viewability and taking taps.
//
// create() makes the library's own carousel (OVAdDefaultMultiProductView)
// unless another maker is installed (tests install doubles).
//
// Thread safety: main thread only.
// Ownership: the media view owns the carousel; the carousel holds its
// delegate weakly and keeps copies of the two handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdMultiProductView;
class OVNativeAdMultiProductDataModel;

class OVAdMultiProductViewDelegate {
 public:
  virtual ~OVAdMultiProductViewDelegate() = default;

  // The first product's cell has loaded its image (or found none to load).
  virtual void multiProductViewDidLoad(const std::shared_ptr<OVAdMultiProductView>& multiProductView) = 0;
};

class OVAdMultiProductView : public platform::View {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdMultiProductView>()>;
  using Products = std::vector<std::shared_ptr<OVNativeAdMultiProductDataModel>>;
  // A product's cell registered its impression.
  using ImpressionHandler = std::function<void(std::uint64_t productIndex)>;
  // A product's cell was tapped at `position` (in the cell); `cellRect` is
  // the cell in window coordinates.
  using ClickHandler = std::function<void(std::uint64_t productIndex, platform::Point position, platform::Rect cellRect)>;

  static std::shared_ptr<OVAdMultiProductView> create() { return maker()(); }

  virtual void setDelegate(std::weak_ptr<OVAdMultiProductViewDelegate> delegate) = 0;
  // The products in page order, with the handlers of their impressions and
  // taps.
  virtual void setMultiProductAds(Products products, ImpressionHandler impressionHandler, ClickHandler clickHandler) = 0;
  virtual Products multiProductAds() const = 0;

  static Maker& maker();

 protected:
  OVAdMultiProductView() = default;
};

}  // namespace plexora

#include "adapters/views/nativead/template/OVNativeAdStripTouches.h"

#include <memory>

#include "plexora/OVNativeAdView.h"

namespace plexora {

namespace {

// The view's frame in window coordinates; empty without a view or a
// superview.
platform::Rect frameInWindow(const std::shared_ptr<platform::View>& view) {
  if (!view) return platform::Rect::zero();
  const auto parent = view->superview();
  if (!parent) return platform::Rect::zero();
  return parent->convertRectToView(view->frame(), nullptr);
}

}  // namespace

bool OVNativeAdStripTakesPoint(const platform::View& strip, platform::Point point) {
  const auto* adView = dynamic_cast<const OVNativeAdView*>(strip.superview().get());
  if (!adView) return true;
  const platform::Point inWindow = strip.convertPointToView(point, nullptr);
  if (frameInWindow(adView->sponsoredView()).containsPoint(inWindow)) return false;
  if (frameInWindow(adView->coverImageView()).containsPoint(inWindow)) return false;
  return true;
}

}  // namespace plexora

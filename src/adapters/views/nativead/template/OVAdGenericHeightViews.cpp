#include "adapters/views/nativead/template/OVAdGenericHeightViews.h"

#include "adapters/views/nativead/template/OVNativeAdDetailsView.h"

namespace plexora {

void OVAdGenericHeight100View::updateView(bool changed) {
  if (changed) {
    setHeaderSize(0.0);
    setCoverImageSize(0.0);
    setDetailsSize(containerFrame().size.height);
  }
  OVNativeAdTemplateView::updateView(changed);
}

void OVAdGenericHeight120View::updateView(bool changed) {
  if (changed) {
    setHeaderSize(0.0);
    setCoverImageSize(0.0);
    setDetailsSize(containerFrame().size.height);
    // Straight on the strip: the template's own setter would lay out again.
    if (const auto details = detailsView(); details && !details->isBodyTextEnabled()) {
      details->setBodyTextEnabled(true);
    }
  }
  OVNativeAdTemplateView::updateView(changed);
}

void OVAdGenericHeight300View::updateView(bool changed) {
  if (changed) setHeaderSize(0.0);
  OVNativeAdTemplateView::updateView(changed);
}

}  // namespace plexora

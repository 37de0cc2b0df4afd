#include "adapters/views/nativead/OVNativeAdTemplateView.h"

#include <algorithm>

#include "adapters/views/nativead/OVAdBodyView.h"
#include "adapters/views/nativead/OVAdDefaultBodyView.h"
#include "adapters/views/nativead/template/OVNativeAdDetailsView.h"
#include "adapters/views/nativead/template/OVNativeAdHeaderView.h"
#include "platform/ui/InterfaceOrientation.h"
#include "util/OVAdScreen.h"

namespace plexora {

namespace {

constexpr double kPortraitShare = 3.0;
constexpr double kLandscapeShare = 5.0;
constexpr double kPortraitMinimum = 50.0;
constexpr double kLandscapeMinimum = 25.0;
constexpr double kHeaderMaximum = 100.0;
constexpr double kDetailsMaximum = 150.0;

bool isLandscape() {
  const std::int64_t orientation = OVAdScreen::orientation();
  return orientation == 3 || orientation == 4;
}

// A share of the height kept within the orientation's minimum and `maximum`.
double share(double height, double maximum) {
  const double value = isLandscape() ? std::max(kLandscapeMinimum, height / kLandscapeShare)
                                     : std::max(kPortraitMinimum, height / kPortraitShare);
  return value > maximum ? maximum : value;
}

}  // namespace

std::shared_ptr<OVNativeAdViewAttributes> OVNativeAdTemplateView::defaultAttributes(std::int64_t type) {
  return OVNativeAdViewAttributes::defaultAttributesForType(type);
}

double OVNativeAdTemplateView::headerSize() const {
  if (headerSize_) return *headerSize_;
  return share(containerFrame().size.height, kHeaderMaximum);
}

double OVNativeAdTemplateView::detailsSize() const {
  if (detailsSize_) return *detailsSize_;
  return share(containerFrame().size.height - headerSize(), kDetailsMaximum);
}

double OVNativeAdTemplateView::coverImageSize() const {
  if (coverImageSize_) return *coverImageSize_;
  return containerFrame().size.height - headerSize() - detailsSize();
}

bool OVNativeAdTemplateView::isBodyTextEnabled() const {
  const auto details = detailsView();
  return details && details->isBodyTextEnabled();
}

void OVNativeAdTemplateView::setBodyTextEnabled(bool enabled) {
  if (const auto details = detailsView()) details->setBodyTextEnabled(enabled);
}

void OVNativeAdTemplateView::constructBodyView() {
  auto header = std::make_shared<OVNativeAdHeaderView>(platform::Rect::zero(), nativeAd(), attributes());
  addSubview(header);
  headerView_ = header;
  auto details = OVNativeAdDetailsView::initWithFrame(platform::Rect::zero(), nativeAd(), attributes());
  addSubview(details);
  detailsView_ = details;

  const auto body = details->bodyView();
  setBodyView(body);
  setIconImageView(details->iconImageView());
  setCallToActionButton(details->callToActionButton());
}

void OVNativeAdTemplateView::updateView(bool changed) {
  if (!changed) return;
  OVNativeAdView::updateView(true);
  if (const auto body = bodyView()) body->setAnimationEnabled(false);
  const platform::Rect column = containerFrame();
  const double width = column.size.width;
  const double header = headerSize();
  const double cover = coverImageSize();
  const double details = detailsSize();
  if (const auto coverView = coverImageView()) coverView->setFrame({0, header, width, cover});
  const auto container = containerView();
  const double x = container ? container->frame().origin.x : 0.0;
  if (const auto headerView = this->headerView()) {
    headerView->setFrame({x, 0, width, header});
    headerView->setNativeAd(nativeAd());
  }
  if (const auto detailsView = this->detailsView()) {
    detailsView->setFrame({x, header + cover, width, details});
    detailsView->setNativeAd(nativeAd());
  }
}

}  // namespace plexora

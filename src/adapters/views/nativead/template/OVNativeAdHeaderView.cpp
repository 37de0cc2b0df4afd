#include "adapters/views/nativead/template/OVNativeAdHeaderView.h"

#include <algorithm>

#include "adapters/views/nativead/template/OVNativeAdStripTouches.h"
#include "platform/ui/Font.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

OVNativeAdHeaderView::OVNativeAdHeaderView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                           const std::shared_ptr<OVNativeAdViewAttributes>& attributes)
    : platform::View(frame), nativeAd_(nativeAd), attributes_(attributes) {
  setClipsToBounds(true);
}

void OVNativeAdHeaderView::reinitializeView() {
  resetView();
  createView();
  updateView(true);
}

void OVNativeAdHeaderView::resetView() {
  for (const auto& view : subviews()) view->removeFromSuperview();
  headerTitleLabel_.reset();
  headerBodyLabel_.reset();
  loaded_ = false;
}

void OVNativeAdHeaderView::createView() {
  const auto attributes = attributes_.lock();
  auto title = std::make_shared<platform::Label>();
  title->setFont(attributes && attributes->titleFont ? *attributes->titleFont
                                                     : platform::Font::boldSystemFont(kOVNativeAdSystemFontSize));
  title->setTextColor(attributes && attributes->titleColor ? *attributes->titleColor : platform::Color::black());
  auto body = std::make_shared<platform::Label>();
  body->setFont(attributes && attributes->descriptionFont ? *attributes->descriptionFont
                                                          : platform::Font::systemFont(kOVNativeAdSystemFontSize));
  body->setTextColor(attributes && attributes->descriptionColor ? *attributes->descriptionColor
                                                                : platform::Color::black());
  addSubview(title);
  addSubview(body);
  headerTitleLabel_ = title;
  headerBodyLabel_ = body;
  loaded_ = true;
}

void OVNativeAdHeaderView::updateView(bool changed) {
  if (!changed) return;
  if (!loaded_) createView();
  const auto ad = nativeAd_.lock();
  const auto title = headerTitleLabel();
  const auto body = headerBodyLabel();
  title->setText(ad ? ad->subtitle().value_or("") : "");
  body->setText(ad ? ad->body().value_or("") : "");
  const double width = bounds().size.width;
  const double height = bounds().size.height;
  const double margin = std::min(width / 6, height / 6);
  const double titleHeight = 3 * height / 5 - 2 * margin;
  title->setFrame({margin, margin, width - 2 * margin, titleHeight});
  body->setFrame({margin, margin + titleHeight, width - 2 * margin, height - 2 * margin - titleHeight});
}

void OVNativeAdHeaderView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  nativeAd_ = nativeAd;
  reinitializeView();
}

void OVNativeAdHeaderView::setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  attributes_ = attributes;
  updateView(true);
}

void OVNativeAdHeaderView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame();
  platform::View::setFrame(frame);
  if (changed && !frame.isEmpty()) reinitializeView();
}

void OVNativeAdHeaderView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds();
  platform::View::setBounds(bounds);
  if (changed && !bounds.isEmpty()) reinitializeView();
}

bool OVNativeAdHeaderView::pointInside(platform::Point point, const platform::Event* /*event*/) const {
  return OVNativeAdStripTakesPoint(*this, point);
}

}  // namespace plexora

#include "adapters/views/nativead/template/OVNativeAdDetailsView.h"

#include <algorithm>

#include "adapters/views/nativead/OVAdDefaultBodyView.h"
#include "adapters/views/nativead/template/OVNativeAdStripTouches.h"
#include "platform/ui/Font.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdView.h"
#include "util/OVAdDevice.h"

namespace plexora {

namespace {

constexpr double kBodyLabelFontSize = 10.0;
constexpr int kBodyLabelLines = 3;
constexpr int kButtonTitleLines = 2;
// Strips up to this width, and every strip on older phones, leave the icon
// out.
constexpr double kWideStripMinWidth = 260.0;
constexpr std::int64_t kWideStripMinDeviceModel = 7;
constexpr double kIconInset = 7.0;
constexpr double kButtonHorizontalInset = 5.0;
constexpr double kButtonVerticalInset = 25.0;
constexpr double kButtonGrowth = 1.25;
constexpr double kButtonHorizontalPadding = 6.0;
constexpr double kButtonVerticalPadding = 5.0;
constexpr double kBodyWidthTrim = 7.0;
constexpr double kNarrowEdgeMargin = 10.0;
constexpr double kNarrowBodyWidthTrim = 30.0;

// A square of the shorter side, centred in the rectangle.
platform::Rect centredSquare(platform::Rect rect) {
  if (rect.size.height > rect.size.width) {
    rect.origin.y += (rect.size.height - rect.size.width) / 2;
    rect.size.height = rect.size.width;
  } else if (rect.size.width > rect.size.height) {
    rect.origin.x += (rect.size.width - rect.size.height) / 2;
    rect.size.width = rect.size.height;
  }
  return rect;
}

// The rectangle inset on each side, its size kept at 0 or more: a strip
// too small for the insets gets empty rectangles, never inverted ones.
platform::Rect shrunk(platform::Rect rect, double dx, double dy) {
  return {rect.origin.x + dx, rect.origin.y + dy, std::max(0.0, rect.size.width - 2 * dx),
          std::max(0.0, rect.size.height - 2 * dy)};
}

}  // namespace

std::shared_ptr<OVNativeAdDetailsView> OVNativeAdDetailsView::initWithFrame(
    platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  auto strip = std::make_shared<OVNativeAdDetailsView>(frame, nativeAd, attributes);
  strip->reinitializeView();
  return strip;
}

OVNativeAdDetailsView::OVNativeAdDetailsView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                             const std::shared_ptr<OVNativeAdViewAttributes>& attributes)
    : platform::View(frame), nativeAd_(nativeAd), attributes_(attributes) {
  setClipsToBounds(true);
}

void OVNativeAdDetailsView::reinitializeView() {
  resetView();
  createView();
  updateView(true);
}

void OVNativeAdDetailsView::resetView() {
  for (const auto& view : subviews()) view->removeFromSuperview();
  iconImageView_.reset();
  bodyView_.reset();
  callToActionButton_.reset();
  bodyLabel_.reset();
  loaded_ = false;
}

void OVNativeAdDetailsView::createView() {
  auto icon = std::make_shared<platform::ImageView>();
  icon->setClipsToBounds(true);
  icon->setUserInteractionEnabled(true);
  addSubview(icon);
  iconImageView_ = icon;

  auto body = OVAdDefaultBodyView::initWithFrame(platform::Rect::zero(), nativeAd_.lock(), attributes_.lock());
  body->setAnimationEnabled(true);
  addSubview(body);
  bodyView_ = body;

  auto bodyLabel = std::make_shared<platform::Label>();
  bodyLabel->setFont(platform::Font::systemFont(kBodyLabelFontSize));
  bodyLabel->setNumberOfLines(kBodyLabelLines);
  addSubview(bodyLabel);
  bodyLabel_ = bodyLabel;

  auto button = std::make_shared<platform::Button>();
  const auto title = button->titleLabel();
  title->setTextAlignment(platform::TextAlignment::Center);
  title->setLineBreakMode(platform::LineBreakMode::WordWrapping);
  title->setNumberOfLines(kButtonTitleLines);
  addSubview(button);
  if (button->title(platform::kControlStateNormal).value_or("").empty()) {
    button->setTitle(kOVNativeAdViewLoadingTitle, platform::kControlStateNormal);
  }
  callToActionButton_ = button;
  loaded_ = true;
}

void OVNativeAdDetailsView::updateView(bool changed) {
  if (!changed) return;
  if (!loaded_) createView();
  const auto ad = nativeAd_.lock();
  const auto icon = iconImageView();
  const auto body = bodyView();
  const auto button = callToActionButton();
  const auto bodyLabel = this->bodyLabel();

  const platform::Rect area = bounds();
  const double width = area.size.width;
  const bool wide = width > kWideStripMinWidth && OVAdDevice::deviceModel() > kWideStripMinDeviceModel;
  platform::Rect iconRect = platform::Rect::zero();
  platform::Rect bodyRect = area;
  platform::Rect buttonRect = area;
  if (wide) {
    iconRect = area;
    iconRect.size.width = width / 4;
    bodyRect.size.width = width / 2;
    bodyRect.origin.x += iconRect.maxX();
    buttonRect.size.width = width / 4;
  } else {
    bodyRect.size.width = width / 2;
    buttonRect.size.width = width / 2;
  }
  buttonRect.origin.x += bodyRect.maxX();

  // The narrow strip's icon stays an empty rectangle: insetting it would
  // only turn it inside out.
  if (!iconRect.isEmpty()) iconRect = centredSquare(shrunk(iconRect, kIconInset, kIconInset));
  buttonRect = shrunk(buttonRect, kButtonHorizontalInset, kButtonVerticalInset);
  buttonRect.origin.y -= buttonRect.size.height * (kButtonGrowth - 1) / 2;
  buttonRect.size.height *= kButtonGrowth;

  icon->setFrame(iconRect);
  bodyRect.size.width -= kBodyWidthTrim;
  body->setFrame(bodyRect);
  body->sizeToFit();
  body->setNativeAd(ad);

  button->setFrame(buttonRect);
  const auto callToAction = ad ? ad->callToAction() : std::nullopt;
  if (callToAction && callToAction != button->title(platform::kControlStateNormal)) {
    button->setTitle(callToAction, platform::kControlStateNormal);
  }
  button->sizeToFit();
  platform::Rect placed = button->frame();
  placed.origin.y += (buttonRect.size.height - placed.size.height) / 2;
  button->setFrame(placed.insetBy(-kButtonHorizontalPadding, -kButtonVerticalPadding));

  body->setFrame(bodyRect);
  body->setNativeAd(ad);

  if (bodyTextEnabled_) {
    const auto combined = body->secondaryCombinedView();
    bodyLabel->setFrame(combined ? convertRectFromView(body->spareSpace(), combined.get()) : platform::Rect::zero());
    bodyLabel->setText(ad ? ad->body().value_or("") : "");
    bodyLabel->sizeToFit();
    const double labelHeight = bodyLabel->frame().size.height;
    body->setAdditionalYSpacing(labelHeight > body->frame().size.height ? labelHeight / 3 : labelHeight / 2);
  } else {
    bodyLabel->setFrame(platform::Rect::zero());
  }

  if (!wide) {
    platform::Rect buttonFrame = button->frame();
    buttonFrame.origin.x = width - buttonFrame.size.width - kNarrowEdgeMargin;
    button->setFrame(buttonFrame);
    platform::Rect bodyFrame = body->frame();
    bodyFrame.origin.x += kNarrowEdgeMargin;
    bodyFrame.size.width = width - buttonFrame.size.width - kNarrowBodyWidthTrim;
    body->setFrame(bodyFrame);
    platform::Rect labelFrame = bodyLabel->frame();
    labelFrame.origin.x = bodyFrame.origin.x;
    labelFrame.size.width = bodyFrame.size.width;
    bodyLabel->setFrame(labelFrame);
  }
}

void OVNativeAdDetailsView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const bool changed = nativeAd != nativeAd_.lock();
  nativeAd_ = nativeAd;
  updateView(changed);
}

void OVNativeAdDetailsView::setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  const bool changed = attributes != attributes_.lock();
  attributes_ = attributes;
  updateView(changed);
}

void OVNativeAdDetailsView::setBodyTextEnabled(bool enabled) {
  bodyTextEnabled_ = enabled;
  updateView(true);
}

void OVNativeAdDetailsView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVNativeAdDetailsView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

bool OVNativeAdDetailsView::pointInside(platform::Point point, const platform::Event* /*event*/) const {
  return OVNativeAdStripTakesPoint(*this, point);
}

}  // namespace plexora

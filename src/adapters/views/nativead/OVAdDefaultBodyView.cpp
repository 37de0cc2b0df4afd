#include "adapters/views/nativead/OVAdDefaultBodyView.h"

#include <cmath>

#include "platform/ui/Font.h"
#include "platform/ui/Window.h"
#include "plexora/OVNativeAd.h"
#include "util/OVAdTimer.h"

namespace plexora {

namespace {
constexpr double kDescriptionFontSize = 9.0;
constexpr int kDescriptionLines = 3;
constexpr double kRotationInterval = 5.0;
constexpr double kRotationDuration = 0.5;
// How far the fitted title moves down: twice its gap to the wanted bottom,
// times 0.75.
constexpr double kTitleDropFactor = 1.5;
}  // namespace

std::shared_ptr<OVAdDefaultBodyView> OVAdDefaultBodyView::initWithFrame(
    platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  auto view = std::make_shared<OVAdDefaultBodyView>(frame, nativeAd, attributes);
  view->build();
  return view;
}

OVAdDefaultBodyView::OVAdDefaultBodyView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                         const std::shared_ptr<OVNativeAdViewAttributes>& attributes)
    : nativeAd_(nativeAd), attributes_(attributes) {
  platform::View::setFrame(frame);
  setClipsToBounds(true);
}

OVAdDefaultBodyView::~OVAdDefaultBodyView() {
  if (rotationTimer_) rotationTimer_->invalidate();
}

void OVAdDefaultBodyView::build() {
  calculateValues();
  auto first = std::make_shared<platform::View>(normalFrame());
  auto second = std::make_shared<platform::View>(offscreenFrame());
  addSubview(first);
  addSubview(second);
  firstPage_ = first;
  secondPage_ = second;

  const auto ad = nativeAd_.lock();
  auto description = std::make_shared<platform::Label>(bounds());
  description->setText(ad ? ad->body().value_or("") : "");
  description->setFont(platform::Font::systemFont(kDescriptionFontSize));
  description->setNumberOfLines(kDescriptionLines);
  second->addSubview(description);
  descriptionLabel_ = description;

  auto combined = OVCombinedSecondaryView::initWithFrame(
      platform::Rect(0, miscMargin_, bounds().size.width, bounds().size.height), ad, attributes_.lock());
  first->addSubview(combined);
  combined_ = combined;
}

void OVAdDefaultBodyView::calculateValues() {
  titleHeight_ = bounds().size.height / 3;
  miscMargin_ = 0.0;
}

platform::Rect OVAdDefaultBodyView::normalFrame() const { return bounds(); }
platform::Rect OVAdDefaultBodyView::animationFrame() const { return bounds().offsetBy(0, -bounds().size.height); }
platform::Rect OVAdDefaultBodyView::offscreenFrame() const { return bounds().offsetBy(0, bounds().size.height); }

std::shared_ptr<platform::Label> OVAdDefaultBodyView::titleLabel() const {
  const auto combined = combined_.lock();
  return combined ? combined->titleLabel() : nullptr;
}

std::shared_ptr<platform::Label> OVAdDefaultBodyView::socialContextLabel() const {
  const auto combined = combined_.lock();
  return combined ? combined->socialContextLabel() : nullptr;
}

void OVAdDefaultBodyView::updateView(bool changed) {
  if (!changed) return;
  calculateValues();
  const auto first = firstPage_.lock();
  const auto second = secondPage_.lock();
  const auto combined = combined_.lock();
  if (!first || !second || !combined) return;
  first->setFrame(normalFrame());
  second->setFrame(offscreenFrame());
  rotated_ = false;
  if (const auto description = descriptionLabel_.lock()) description->setFrame(bounds());
  if (const auto title = combined->titleLabel()) {
    title->setFrame({0, miscMargin_, bounds().size.width, titleHeight_});
    title->sizeToFit();
    const platform::Rect fitted = title->frame();
    const double gap = std::abs((miscMargin_ + titleHeight_) - (fitted.origin.y + fitted.size.height));
    title->setFrame(fitted.offsetBy(0, kTitleDropFactor * gap));
  }
  combined->setFrame(first->bounds());
  combined->setAdditionalYSpacing(additionalYSpacing_);
  combined->setFullRatingView(fullRatingView_);
}

void OVAdDefaultBodyView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVAdDefaultBodyView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

void OVAdDefaultBodyView::setAdditionalYSpacing(double spacing) {
  const bool changed = spacing != additionalYSpacing_;
  additionalYSpacing_ = spacing;
  updateView(changed);
}

void OVAdDefaultBodyView::setFullRatingView(bool full) {
  const bool changed = full != fullRatingView_;
  fullRatingView_ = full;
  updateView(changed);
}

bool OVAdDefaultBodyView::isRatingEnabled() const {
  const auto combined = combined_.lock();
  return combined && combined->isRatingEnabled();
}

void OVAdDefaultBodyView::setRatingEnabled(bool enabled) {
  if (const auto combined = combined_.lock()) combined->setRatingEnabledInternal(enabled);
}

bool OVAdDefaultBodyView::socialContextEnabled() const {
  const auto combined = combined_.lock();
  return combined && combined->isSocialContextEnabled();
}

void OVAdDefaultBodyView::setSocialContextEnabled(bool enabled) {
  if (const auto combined = combined_.lock()) combined->setSocialContextEnabledInternal(enabled);
}

void OVAdDefaultBodyView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const bool changed = nativeAd != nativeAd_.lock();
  nativeAd_ = nativeAd;
  updateView(changed);
  if (const auto description = descriptionLabel_.lock()) {
    description->setText(nativeAd ? nativeAd->body().value_or("") : "");
  }
  if (const auto combined = combined_.lock()) combined->setNativeAd(nativeAd);
}

platform::Size OVAdDefaultBodyView::sizeThatFits(platform::Size /*size*/) const {
  const auto title = titleLabel();
  const auto social = socialContextLabel();
  return {bounds().size.width,
          (title ? title->bounds().size.height : 0.0) + (social ? social->bounds().size.height : 0.0)};
}

platform::Rect OVAdDefaultBodyView::spareSpace() const {
  const auto combined = combined_.lock();
  return combined ? combined->spareSpace() : platform::Rect::zero();
}

void OVAdDefaultBodyView::willMoveToWindow(const std::shared_ptr<platform::Window>& newWindow) {
  if (!newWindow) return;
  if (rotationTimer_) rotationTimer_->invalidate();
  const std::weak_ptr<OVAdDefaultBodyView> weakSelf =
      std::static_pointer_cast<OVAdDefaultBodyView>(sharedView());
  rotationTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(kRotationInterval, true, [weakSelf](const auto&) {
    if (const auto self = weakSelf.lock()) self->rotate();
  });
}

void OVAdDefaultBodyView::rotate() {
  const auto first = firstPage_.lock();
  const auto second = secondPage_.lock();
  if (!first || !second) return;
  if (rotated_) {
    animateRotation(second, first);
    rotated_ = false;
  } else if (animationEnabled_) {
    animateRotation(first, second);
    rotated_ = true;
  }
}

void OVAdDefaultBodyView::animateRotation(const std::shared_ptr<platform::View>& current,
                                          const std::shared_ptr<platform::View>& other) {
  const std::weak_ptr<OVAdDefaultBodyView> weakSelf =
      std::static_pointer_cast<OVAdDefaultBodyView>(sharedView());
  platform::View::animate(
      kRotationDuration, 0.0,
      platform::kAnimationOptionBeginFromCurrentState | platform::kAnimationOptionAllowAnimatedContent,
      [&] {
        current->setFrame(animationFrame());
        other->setFrame(normalFrame());
      },
      [weakSelf, current](bool) {
        if (const auto self = weakSelf.lock()) current->setFrame(self->offscreenFrame());
      });
}

}  // namespace plexora

#include "adapters/views/nativead/OVCombinedSecondaryView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Font.h"
#include "platform/ui/TextMeasurement.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

namespace {
constexpr double kTitleFontSize = 14.0;
constexpr int kTitleLines = 2;
constexpr double kSocialContextFontSize = 9.0;
constexpr double kSocialContextPadding = 5.0;
}  // namespace

OVCombinedSecondaryView::OVCombinedSecondaryView(platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
                                                 const std::shared_ptr<OVNativeAdViewAttributes>& attributes)
    : platform::View(frame), nativeAd_(nativeAd), attributes_(attributes) {
  setClipsToBounds(true);
  if (attributes) {
    ratingEnabledInternal_ = attributes->ratingEnabled;
    socialContextEnabledInternal_ = attributes->socialContextEnabled;
  }
}

std::shared_ptr<OVCombinedSecondaryView> OVCombinedSecondaryView::initWithFrame(
    platform::Rect frame, const std::shared_ptr<OVNativeAd>& nativeAd,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  auto view = std::make_shared<OVCombinedSecondaryView>(frame, nativeAd, attributes);
  view->createView();
  return view;
}

bool OVCombinedSecondaryView::isRatingEnabled() const { return ratingEnabledInternal_.value_or(false); }

bool OVCombinedSecondaryView::isSocialContextEnabled() const {
  if (socialContextEnabledInternal_.value_or(false)) return true;
  const auto ad = nativeAd_.lock();
  const auto text = ad ? ad->socialContext() : std::nullopt;
  return text && !text->empty();
}

void OVCombinedSecondaryView::setRatingEnabled(bool enabled) {
  const bool before = isRatingEnabled();
  ratingEnabledInternal_ = enabled;
  updateView(before != enabled);
}

void OVCombinedSecondaryView::setSocialContextEnabled(bool enabled) {
  const bool before = socialContextEnabledInternal_.value_or(false);
  socialContextEnabledInternal_ = enabled;
  updateView(before != enabled);
}

void OVCombinedSecondaryView::createView() {
  socialContextEnabledLast_ = isSocialContextEnabled();
  ratingEnabledLast_ = isRatingEnabled();
  const auto attributes = attributes_.lock();

  auto title = std::make_shared<platform::Label>();
  title->setFont(platform::Font::boldSystemFont(kTitleFontSize));
  title->setNumberOfLines(kTitleLines);
  if (attributes && attributes->titleColor) title->setTextColor(*attributes->titleColor);
  if (attributes && attributes->titleFont) title->setFont(*attributes->titleFont);
  addSubview(title);
  titleLabel_ = title;

  if (!socialContextEnabledLast_) return;
  auto social = std::make_shared<platform::Label>();
  social->setFont(platform::Font::systemFont(kSocialContextFontSize));
  social->setLineBreakMode(platform::LineBreakMode::TruncatingTail);
  if (attributes && attributes->descriptionColor) social->setTextColor(*attributes->descriptionColor);
  if (attributes && attributes->descriptionFont) social->setFont(*attributes->descriptionFont);
  addSubview(social);
  socialContextLabel_ = social;
}

void OVCombinedSecondaryView::resetView() {
  if (const auto title = titleLabel_.lock()) title->removeFromSuperview();
  if (const auto social = socialContextLabel_.lock()) social->removeFromSuperview();
  titleLabel_.reset();
  socialContextLabel_.reset();
}

void OVCombinedSecondaryView::updateView(bool changed) {
  if (!changed) return;
  if (isSocialContextEnabled() != socialContextEnabledLast_ || isRatingEnabled() != ratingEnabledLast_) {
    resetView();
    createView();
  }
  const auto ad = nativeAd_.lock();
  const double width = bounds().size.width;
  const double height = bounds().size.height;

  const auto title = titleLabel_.lock();
  title->setFrame(platform::Rect::zero());
  title->setText(ad ? ad->title().value_or("") : "");
  title->sizeToFit();
  const double titleHeight = title->frame().size.height;
  const double offset = std::max(0.0, height / 2 - titleHeight - additionalYSpacing_);
  title->setFrame({title->frame().origin.x, title->frame().origin.y + offset, width, titleHeight});
  const double titleBottom = title->frame().origin.y + titleHeight;

  const auto social = socialContextLabel_.lock();
  if (!social) return;
  const auto socialText = ad ? ad->socialContext() : std::nullopt;
  platform::Rect area = platform::Rect::zero();
  if (socialText && !bounds().isEmpty()) {
    const auto attributes = attributes_.lock();
    const platform::Font font = attributes && attributes->descriptionFont
                                    ? *attributes->descriptionFont
                                    : platform::Font::systemFont(platform::Font::kSmallSystemFontSize);
    const platform::Size measured = platform::measureText(*socialText, font, 0.0, 0);
    area.size = {std::min(width, std::max(0.0, std::ceil(measured.width))), std::ceil(measured.height)};
  }
  area.origin.y = titleBottom;
  area.size.width = width;
  area.size.height = std::min(height - (offset + titleBottom), std::max(0.0, area.maxY()));

  social->setText(socialText.value_or(""));
  social->setFrame(area);
  social->sizeToFit();
  social->setNumberOfLines(social->frame().maxY() > height ? 1 : 2);
  social->sizeToFit();
  platform::Rect placed = social->frame();
  placed.size.width = width;
  placed.size.height += 2 * kSocialContextPadding;
  social->setFrame(placed);
}

void OVCombinedSecondaryView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const bool changed = nativeAd != nativeAd_.lock();
  nativeAd_ = nativeAd;
  updateView(changed);
}

void OVCombinedSecondaryView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVCombinedSecondaryView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

platform::Rect OVCombinedSecondaryView::spareSpace() const {
  const auto title = titleLabel_.lock();
  const auto social = socialContextLabel_.lock();
  const double x = title ? title->frame().origin.x : 0.0;
  const double y = (title ? title->frame().origin.y + title->bounds().size.height : 0.0) +
                   (social ? social->bounds().size.height : 0.0);
  return {x, y, frame().size.width, bounds().size.height - y};
}

}  // namespace plexora

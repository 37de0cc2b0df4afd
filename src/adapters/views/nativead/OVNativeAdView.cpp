#include "plexora/OVNativeAdView.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/OVAdBodyView.h"
#include "adapters/views/nativead/OVAdDefaultBodyView.h"
#include "adapters/views/nativead/template/OVAdGenericHeightViews.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Screen.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAdViewImmutable.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVNativeAdView";
constexpr double kButtonBorderWidth = 1.0;

bool isImmutable(const std::shared_ptr<platform::View>& view) {
  return dynamic_cast<const OVNativeAdViewImmutable*>(view.get()) != nullptr;
}

std::shared_ptr<OVNativeAdView> newTemplateOfType(OVNativeAdViewTemplateType type) {
  switch (type) {
    case kOVNativeAdViewTypeGenericHeight100: return std::make_shared<OVAdGenericHeight100View>();
    case kOVNativeAdViewTypeGenericHeight120: return std::make_shared<OVAdGenericHeight120View>();
    case kOVNativeAdViewTypeGenericHeight300: return std::make_shared<OVAdGenericHeight300View>();
    case kOVNativeAdViewTypeGenericHeight400: return std::make_shared<OVAdGenericHeight400View>();
    default: return nullptr;
  }
}

}  // namespace

// ---- Factories ----

bool OVNativeAdView::hasClassForType(OVNativeAdViewTemplateType type) {
  return type >= kOVNativeAdViewTypeGenericHeight100 && type <= kOVNativeAdViewTypeGenericHeight400;
}

std::shared_ptr<OVNativeAdView> OVNativeAdView::nativeAdViewWithType(
    OVNativeAdViewTemplateType type, const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  return nativeAdViewWithNativeAd(OVNativeAd::fakeNativeAd(), type, attributes);
}

std::shared_ptr<OVNativeAdView> OVNativeAdView::nativeAdViewWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                                         OVNativeAdViewTemplateType type) {
  return nativeAdViewWithNativeAd(nativeAd, type, OVNativeAdViewAttributes::defaultAttributesForType(type));
}

std::shared_ptr<OVNativeAdView> OVNativeAdView::nativeAdViewWithNativeAd(
    const std::shared_ptr<OVNativeAd>& nativeAd, OVNativeAdViewTemplateType type,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  auto view = newTemplateOfType(type);
  if (view) view->initWithNativeAd(nativeAd, type, attributes);
  return view;
}

// ---- Making ----

OVNativeAdView::OVNativeAdView() : platform::View(platform::Rect::zero()) {}

OVNativeAdView::OVNativeAdView(platform::Rect frame) : platform::View(frame) {}

void OVNativeAdView::initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, OVNativeAdViewTemplateType type,
                                      const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  type_ = type;
  setAttributes(nativeAd && nativeAd->adViewAttributes() ? nativeAd->adViewAttributes() : attributes);
  nativeAd_ = nativeAd;
  if (!nativeAd) return;
  nativeAd->setDelegate(std::static_pointer_cast<OVNativeAdView>(sharedView()));
  if (nativeAd->isAdValid()) {
    populate(nativeAd);
  } else if (!(attributes && attributes->bypassAdLoad.value_or(false))) {
    char reason[256];
    const std::string adName = "OVNativeAd(" + nativeAd->placementID() + ")";
    std::snprintf(reason, sizeof reason, kOVNativeAdViewInvalidAdReason, adName.c_str(), kClassName);
    OVAdUtility::throwExceptionWithName(platform::kInternalInconsistencyException, reason);
  }
}

void OVNativeAdView::nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& nativeAd) { populate(nativeAd); }

void OVNativeAdView::populate(const std::shared_ptr<OVNativeAd>& nativeAd) {
  nativeAd_ = nativeAd;
  if (!nativeAd) return;
  if (!containerView()) initializeView();
  const auto container = containerView();
  container->setAlpha(0.0);
  if (const auto label = titleLabel()) label->setText(nativeAd->title().value_or(""));
  if (const auto label = descriptionLabel()) label->setText(nativeAd->body().value_or(""));
  if (const auto button = callToActionButton()) button->setTitle(nativeAd->callToAction(), platform::kControlStateNormal);
  if (const auto label = socialContextLabel()) label->setText(nativeAd->socialContext().value_or(""));
  updateView(true);
  OVAdUtility::animateWithFadeIn({container}, nullptr);
}

void OVNativeAdView::initializeView() {
  if (!containerView()) {
    auto container = std::make_shared<platform::View>(containerFrame());
    container->setClipsToBounds(true);
    addSubview(container);
    containerView_ = container;
  }
  constructView();
  updateView(true);
  if (!loaded_ && !(attributes_ && attributes_->skipRegistration.value_or(false))) registerView();
  loaded_ = true;
}

void OVNativeAdView::constructView() {
  if (loaded_) return;
  constructCallToActionButton();
  constructIconImageView();
  constructCoverImageView();
  constructSponsoredView();
  constructBodyView();
  updateClickableViews();
}

void OVNativeAdView::constructCallToActionButton() {
  auto button = std::make_shared<platform::Button>();
  if (!button->title(platform::kControlStateNormal)) {
    button->setTitle(kOVNativeAdViewLoadingTitle, platform::kControlStateNormal);
  }
  containerView()->addSubview(button);
  callToActionButton_ = button;
}

void OVNativeAdView::constructIconImageView() {
  auto icon = std::make_shared<platform::ImageView>();
  icon->setClipsToBounds(true);
  icon->setUserInteractionEnabled(true);
  containerView()->addSubview(icon);
  iconImageView_ = icon;
}

void OVNativeAdView::constructCoverImageView() {
  auto cover = OVMediaView::init();
  cover->setClipsToBounds(true);
  containerView()->addSubview(cover);
  coverImageView_ = cover;
}

void OVNativeAdView::constructSponsoredView() {
  auto badge = OVAdChoicesView::initWithNativeAd(nativeAd_, true, attributes_);
  containerView()->addSubview(badge);
  sponsoredView_ = badge;
}

void OVNativeAdView::constructBodyView() {
  auto body = OVAdDefaultBodyView::initWithFrame(platform::Rect::zero(), nativeAd_, attributes_);
  body->setAnimationEnabled(true);
  containerView()->addSubview(body);
  setBodyView(body);
}

void OVNativeAdView::setBodyView(const std::shared_ptr<OVAdBodyView>& view) {
  bodyView_ = view;
  if (!view) return;
  titleLabel_ = view->titleLabel();
  descriptionLabel_ = view->descriptionLabel();
  socialContextLabel_ = view->socialContextLabel();
}

void OVNativeAdView::updateClickableViews() {
  clickableViews_.clear();
  const auto dataModel = nativeAd_ ? nativeAd_->dataModel() : nullptr;
  if (!(dataModel && dataModel->fullyClickable())) {
    clickableViews_ = {callToActionButton_, iconImageView_};
  }
  excludedClickableViews_ = {sponsoredView_};
}

void OVNativeAdView::registerView() {
  if (!nativeAd_) return;
  nativeAd_->registerViewForInteraction(sharedView(), viewController(), allInteractableTargets());
  if (const auto badge = sponsoredView()) badge->setViewController(viewController());
}

std::vector<std::shared_ptr<platform::View>> OVNativeAdView::allInteractableTargets() {
  OVAdUtility::Views excluded;
  for (const auto& view : excludedClickableViews_) {
    if (auto locked = view.lock()) excluded.push_back(std::move(locked));
  }
  std::vector<std::shared_ptr<platform::View>> roots;
  for (const auto& view : clickableViews_) {
    if (auto locked = view.lock()) roots.push_back(std::move(locked));
  }
  if (clickableViews_.empty()) {
    roots.push_back(sharedView());
  }
  // The badge sits inside the container, deeper than the utility's
  // exclusion reaches; a tap on it must open the ad choices, never click
  // the ad as well.
  const auto isExcluded = [&](const std::shared_ptr<platform::View>& view) {
    return std::any_of(excluded.begin(), excluded.end(),
                       [&](const auto& badge) { return view == badge || view->isDescendantOfView(badge.get()); });
  };
  std::vector<std::shared_ptr<platform::View>> targets;
  for (const auto& root : roots) {
    for (const auto& target : OVAdUtility::allInteractableTargets(root, excluded)) {
      if (auto locked = target.lock(); locked && !isExcluded(locked)) targets.push_back(std::move(locked));
    }
  }
  return targets;
}

// ---- Layout and style ----

platform::Rect OVNativeAdView::containerFrame() const {
  platform::Rect area = bounds();
  if (area.size.width > kOVNativeAdViewMaxContentWidth) {
    area.origin.x += (area.size.width - kOVNativeAdViewMaxContentWidth) / 2;
    area.size.width = kOVNativeAdViewMaxContentWidth;
  }
  if (fixedHeight() > 0 && attributes_ && attributes_->shouldClip.value_or(false) && area.size.height > 0) {
    area.size.height = std::max(fixedHeight(), area.size.height);
  }
  return area;
}

void OVNativeAdView::updateView(bool changed) {
  if (!changed) return;
  const auto container = containerView();
  if (container) container->setFrame(containerFrame());
  if (const auto badge = sponsoredView()) badge->updateFrameFromSuperview();
  updateAttributes(attributes_);
  if (container) container->setFrame(containerFrame());
  loadImages();
}

void OVNativeAdView::loadImages() {
  if (!nativeAd_ || !nativeAd_->icon() || !nativeAd_->coverImage()) return;
  const std::weak_ptr<OVNativeAdView> weakSelf = std::static_pointer_cast<OVNativeAdView>(sharedView());
  OVAdImage::loadImagesAsync({nativeAd_->icon(), nativeAd_->coverImage()},
                             [weakSelf](const OVAdImage::ImagesByRole& images, const OVAdImage::ImagesByURL&) {
                               const auto self = weakSelf.lock();
                               if (!self) return;
                               const auto find = [&](OVAdImageType type) {
                                 const auto found = images.find(type);
                                 return found == images.end() ? nullptr : found->second;
                               };
                               if (const auto icon = self->iconImageView()) icon->setImage(find(kOVAdImageTypeIcon));
                               if (!self->usesMediaView()) return;
                               if (const auto cover = self->coverImageView()) cover->setNativeAd(self->nativeAd_);
                             });
}

void OVNativeAdView::setAttributes(const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  attributes_ = attributes;
  if (attributes) updateAttributes(attributes);
}

void OVNativeAdView::updateAttributes(std::shared_ptr<OVNativeAdViewAttributes> attributes) {
  if (!attributes) attributes = OVNativeAdViewAttributes::defaultAttributesForType(type_);
  if (!attributes) return;
  const auto container = containerView();
  const auto eachStyledView = [&](const std::function<void(const std::shared_ptr<platform::View>&)>& apply) {
    if (!container) return;
    OVAdUtility::traverseView(container, [&](const std::shared_ptr<platform::View>& view) {
      if (!isImmutable(view)) apply(view);
    });
  };
  const auto eachStyledLabel = [&](const std::function<void(platform::Label&)>& apply) {
    if (const auto label = descriptionLabel()) apply(*label);
    if (const auto label = socialContextLabel()) apply(*label);
    eachStyledView([&](const std::shared_ptr<platform::View>& view) {
      if (auto* label = dynamic_cast<platform::Label*>(view.get())) apply(*label);
    });
  };

  if (attributes->backgroundColor) {
    setBackgroundColor(attributes->backgroundColor);
    eachStyledView([&](const auto& view) { view->setBackgroundColor(attributes->backgroundColor); });
  }
  if (attributes->descriptionColor) {
    eachStyledLabel([&](platform::Label& label) { label.setTextColor(*attributes->descriptionColor); });
  }
  if (attributes->descriptionFont) {
    eachStyledLabel([&](platform::Label& label) { label.setFont(*attributes->descriptionFont); });
  }
  if (const auto title = titleLabel()) {
    if (attributes->titleColor) title->setTextColor(*attributes->titleColor);
    if (attributes->titleFont) title->setFont(*attributes->titleFont);
  }
  if (const auto button = callToActionButton()) {
    if (attributes->buttonColor) button->setBackgroundColor(attributes->buttonColor);
    if (attributes->buttonTitleColor) button->setTitleColor(attributes->buttonTitleColor, platform::kControlStateNormal);
    if (attributes->buttonTitleFont) button->titleLabel()->setFont(*attributes->buttonTitleFont);
    if (attributes->buttonBorderColor) {
      button->setBorderColor(*attributes->buttonBorderColor);
      button->setBorderWidth(kButtonBorderWidth);
    }
    button->setCornerRadius(attributes->buttonBorderRadius.value_or(0.0));
  }
  if (container) container->setCornerRadius(attributes->borderRadius.value_or(0.0));
  if (const auto badge = sponsoredView()) {
    if (attributes->adChoicesBackgroundShown) badge->setBackgroundShown(*attributes->adChoicesBackgroundShown);
    if (attributes->adChoicesTitleColor) {
      if (const auto label = badge->label()) label->setTextColor(*attributes->adChoicesTitleColor);
    }
  }
  if (const auto icon = iconImageView()) icon->setCornerRadius(attributes->iconBorderRadius.value_or(0.0));
}

void OVNativeAdView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVNativeAdView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

void OVNativeAdView::reset() {
  if (const auto container = containerView()) {
    for (const auto& view : container->subviews()) view->removeFromSuperview();
  }
  titleLabel_.reset();
  sponsoredView_.reset();
  callToActionButton_.reset();
  coverImageView_.reset();
  iconImageView_.reset();
  loaded_ = false;
}

void OVNativeAdView::resetViews() {
  for (const auto& view : subviews()) view->removeFromSuperview();
  containerView_.reset();
}

}  // namespace plexora

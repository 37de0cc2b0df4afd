#include "plexora/OVAdChoicesView.h"

#include <cstdio>

#include "adapters/OVNativeAdDataModel.h"
#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Font.h"
#include "platform/ui/Image.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdViewAttributes.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVAdChoicesView";
constexpr const char* kIconLoadedMessage = "loaded ad choices icon: %ux%u";
constexpr const char* kNoLinkMessage = "AdChoices link url was not set on %s";

constexpr double kIconInset = 4.0;
constexpr double kExtensionStep = 60.0;
constexpr double kIconBadgeSide = 20.0;
constexpr double kTextBadgeWidth = 50.0;
constexpr double kTextBadgeHeight = 15.0;
constexpr double kIconModeFontSize = 10.0;
constexpr double kTextModeFontSize = 8.0;
constexpr double kMaskCornerRadius = 5.0;
constexpr double kLabelFadeDuration = 0.125;
constexpr double kFrameChangeDuration = 0.25;
constexpr double kCollapseDelay = 2.0;

constexpr platform::Color kDefaultBackground = platform::Color::grey(0.0, 0.7);

// Right-hand corners grow to the left; the others grow to the right and
// move their content with them.
bool isRightCorner(platform::RectCorner corner) {
  return corner == platform::kRectCornerTopRight || corner == platform::kRectCornerBottomRight;
}

}  // namespace

// Hands the browser's events on to the badge's delegate.
class OVAdChoicesView::BrowserDelegate final : public OVAdSafariViewControllerDelegate {
 public:
  explicit BrowserDelegate(std::weak_ptr<OVAdChoicesView> badge) : badge_(std::move(badge)) {}

  void willPresentViewController(const std::shared_ptr<platform::ViewController>& viewController) override {
    forward([&](OVAdChoicesViewDelegate& delegate, const std::shared_ptr<OVAdChoicesView>& badge) {
      delegate.adChoicesViewWillPresentViewController(badge, viewController);
    });
  }
  void viewControllerCompleted(const std::shared_ptr<platform::ViewController>& viewController) override {
    forward([&](OVAdChoicesViewDelegate& delegate, const std::shared_ptr<OVAdChoicesView>& badge) {
      delegate.adChoicesViewViewControllerCompleted(badge, viewController);
    });
  }
  void viewControllerDismissed(const std::shared_ptr<platform::ViewController>& viewController) override {
    forward([&](OVAdChoicesViewDelegate& delegate, const std::shared_ptr<OVAdChoicesView>& badge) {
      delegate.adChoicesViewViewControllerDismissed(badge, viewController);
    });
  }

 private:
  template <typename Call>
  void forward(const Call& call) {
    const auto badge = badge_.lock();
    if (!badge) return;
    if (const auto delegate = badge->delegate_.lock()) call(*delegate, badge);
  }

  std::weak_ptr<OVAdChoicesView> badge_;
};

OVAdChoicesView::OVAdChoicesView(Passkey) : platform::View(platform::Rect::zero()) {}

OVAdChoicesView::~OVAdChoicesView() = default;

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::init() { return initWithNativeAd(OVNativeAd::fakeNativeAd()); }

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  return initWithNativeAd(nativeAd, true);
}

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd,
                                                                   bool expandable) {
  return initWithNativeAd(nativeAd, expandable, nativeAd ? nativeAd->adViewAttributes() : nullptr);
}

namespace {
std::string clientTokenOf(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (!nativeAd || !nativeAd->dataModel()) return "";
  return nativeAd->dataModel()->inlineClientToken().value_or("");
}
}  // namespace

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::initWithNativeAd(
    const std::shared_ptr<OVNativeAd>& nativeAd, bool expandable,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  if (!nativeAd) return initWithViewController(nullptr, "", nullptr, std::nullopt, std::nullopt, attributes, expandable);
  return initWithViewController(nullptr, clientTokenOf(nativeAd), nativeAd->adChoicesIcon(),
                                nativeAd->adChoicesLinkURL(), nativeAd->adChoicesText(), attributes, expandable);
}

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::initWithViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const std::string& inlineClientToken,
    std::shared_ptr<OVAdImage> adChoicesIcon, std::optional<platform::URL> adChoicesLinkURL,
    std::optional<std::string> adChoicesText, const std::shared_ptr<OVNativeAdViewAttributes>& attributes,
    bool expandable) {
  auto badge = std::make_shared<OVAdChoicesView>(Passkey{});
  badge->browserDelegate_ = std::make_shared<BrowserDelegate>(badge);
  badge->updateViews(OVAdViewControllerProxy::proxyWithViewController(viewController), inlineClientToken,
                     std::move(adChoicesIcon), std::move(adChoicesLinkURL), std::move(adChoicesText), attributes,
                     expandable);
  return badge;
}

std::shared_ptr<OVAdChoicesView> OVAdChoicesView::sharedBadge() {
  return std::static_pointer_cast<OVAdChoicesView>(sharedView());
}

void OVAdChoicesView::updateViews(const std::shared_ptr<OVAdViewControllerProxy>& viewController,
                                  const std::string& token, std::shared_ptr<OVAdImage> icon,
                                  std::optional<platform::URL> link, std::optional<std::string> text,
                                  const std::shared_ptr<OVNativeAdViewAttributes>& attributes, bool expandable) {
  expandable_ = expandable;
  extended_ = !expandable;
  viewController_ = viewController;
  inlineClientToken_ = token;
  adChoicesIcon_ = std::move(icon);
  adChoicesLinkURL_ = std::move(link);
  adChoicesText_ = std::move(text);
  attributes_ = attributes;

  setBackgroundColor(attributes && attributes->adChoicesBackgroundColor ? *attributes->adChoicesBackgroundColor
                                                                         : kDefaultBackground);
  setHidden(attributes && attributes->adChoicesIsHidden);

  if (adChoicesIcon_) {
    if (const auto label = label_.lock()) label->removeFromSuperview();
    label_.reset();
    auto iconView = sponsoredImageView_.lock();
    if (!iconView) {
      iconView = std::make_shared<platform::ImageView>(bounds().insetBy(kIconInset, kIconInset));
      addSubview(iconView);
      sponsoredImageView_ = iconView;
    }
    if (!isRightCorner(corner_)) {
      platform::Rect widened = frame();
      widened.size.width += extensionAmount();
      platform::View::setFrame(widened);
      iconView->setFrame(iconView->frame().offsetBy(extensionAmount(), 0));
    }
    iconView->setContentMode(platform::ContentMode::ScaleAspectFit);
    iconView->setUserInteractionEnabled(true);
    loadIconImage();
    const auto label = generateLabel();
    addSubview(label);
    label_ = label;
    updateMask();
    extend(!expandable_, false, true);
    if (!tapRecognizerAdded_) {
      tapRecognizerAdded_ = true;
      const std::weak_ptr<OVAdChoicesView> weakSelf = sharedBadge();
      addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer&) {
        if (const auto self = weakSelf.lock()) self->sponsoredImageTapped();
      }));
    }
  } else {
    if (const auto iconView = sponsoredImageView_.lock()) iconView->removeFromSuperview();
    sponsoredImageView_.reset();
    auto label = label_.lock();
    if (!label) {
      label = std::make_shared<platform::Label>(bounds());
      label->setText(kOVAdChoicesSponsoredText);
      label->setTextColor(platform::Color::white());
      label->setFont(platform::Font::systemFont(kTextModeFontSize));
      label->setTextAlignment(platform::TextAlignment::Center);
      label->setFrame(bounds());
      addSubview(label);
      label_ = label;
    }
  }
  setCorner(platform::kRectCornerTopRight);
}

void OVAdChoicesView::loadIconImage() {
  if (!adChoicesIcon_) return;
  auto self = sharedBadge();
  adChoicesIcon_->loadImageAsyncWithBlock([self](const std::shared_ptr<platform::Image>& image) {
    if (image) OV_LOG(kOVAdLogLevelVerbose, kIconLoadedMessage, image->pixelWidth(), image->pixelHeight());
    if (const auto iconView = self->sponsoredImageView_.lock()) iconView->setImage(image);
  });
}

std::shared_ptr<platform::Label> OVAdChoicesView::generateLabel() const {
  auto label = std::make_shared<platform::Label>(labelFrame());
  label->setFont(platform::Font::systemFont(kIconModeFontSize));
  label->setText(adChoicesText_.value_or(kOVAdChoicesDefaultText));
  const auto attributes = attributes_.lock();
  label->setTextColor(attributes && attributes->adChoicesTitleColor ? *attributes->adChoicesTitleColor
                                                                     : platform::Color::white());
  return label;
}

platform::Rect OVAdChoicesView::labelFrame() const {
  const platform::Rect area = bounds();
  const auto iconView = sponsoredImageView_.lock();
  const double iconWidth = iconView ? iconView->frame().size.width : 0.0;
  if (isRightCorner(corner_)) {
    const double x = 8 + iconWidth;
    return {x, area.origin.y, area.size.width - x, area.size.height};
  }
  return {4, area.origin.y, area.size.width - iconWidth - 8, area.size.height};
}

double OVAdChoicesView::extensionAmount() const { return expandable_ ? 0.0 : kExtensionStep; }

double OVAdChoicesView::badgeWidth() const { return adChoicesIcon_ ? extensionAmount() + kIconBadgeSide : kTextBadgeWidth; }

double OVAdChoicesView::badgeHeight() const { return adChoicesIcon_ ? kIconBadgeSide : kTextBadgeHeight; }

bool OVAdChoicesView::isAdChoicesIconAvailable() const { return adChoicesLinkURL_.has_value() && adChoicesIcon_; }

void OVAdChoicesView::updateView(bool changed) {
  if (!changed) return;
  const platform::Rect area = bounds();
  const auto label = label_.lock();
  if (adChoicesIcon_) {
    if (const auto iconView = sponsoredImageView_.lock()) {
      const double side = area.size.height - 2 * kIconInset;
      const double shift = isRightCorner(corner_) ? 0.0 : extensionAmount();
      iconView->setFrame({area.origin.x + kIconInset + shift, area.origin.y + kIconInset, side, side});
      bringSubviewToFront(iconView);
    }
    if (label) label->setFrame(labelFrame());
  } else if (label) {
    label->setFrame(area);
  }
}

void OVAdChoicesView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
  updateMask();
}

void OVAdChoicesView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
  updateMask();
}

platform::RectCorner OVAdChoicesView::maskCornerForCurrentState() const {
  switch (corner_) {
    case platform::kRectCornerTopLeft: return platform::kRectCornerBottomRight;
    case platform::kRectCornerTopRight: return platform::kRectCornerBottomLeft;
    case platform::kRectCornerBottomLeft: return platform::kRectCornerTopRight;
    case platform::kRectCornerBottomRight: return platform::kRectCornerTopLeft;
    default: return platform::kRectCornerAllCorners;
  }
}

void OVAdChoicesView::updateMask() {
  // The mask reaches a step beyond the side the badge grows toward, so an
  // expansion never uncovers an unmasked edge.
  const double left = isRightCorner(corner_) ? 0.0 : kExtensionStep;
  const double right = isRightCorner(corner_) ? kExtensionStep : 0.0;
  const platform::Rect area = bounds();
  setMask(platform::RoundedCornerMask{
      {area.origin.x - left, area.origin.y, area.size.width + right + 2 * left, area.size.height},
      maskCornerForCurrentState(),
      kMaskCornerRadius});
}

double OVAdChoicesView::relativeWidth(platform::Size size, platform::RectCorner corner) const {
  switch (corner) {
    case platform::kRectCornerTopLeft:
    case platform::kRectCornerBottomLeft:
      return adChoicesIcon_ ? extensionAmount() + size.width : size.width;
    case platform::kRectCornerTopRight:
    case platform::kRectCornerBottomRight:
      return badgeWidth();
    default:
      return 0.0;
  }
}

double OVAdChoicesView::relativeHeight(platform::Size size, platform::RectCorner corner) const {
  switch (corner) {
    case platform::kRectCornerTopLeft:
    case platform::kRectCornerTopRight:
      return size.height;
    case platform::kRectCornerBottomLeft:
    case platform::kRectCornerBottomRight:
      return badgeHeight();
    default:
      return 0.0;
  }
}

void OVAdChoicesView::updateFrameFromSuperview() { updateFrameFromSuperview(platform::kRectCornerTopRight); }

void OVAdChoicesView::updateFrameFromSuperview(platform::RectCorner corner) {
  if (corner == platform::kRectCornerAllCorners) {
    char reason[128];
    std::snprintf(reason, sizeof reason, kOVAdChoicesAllCornersReason, kClassName);
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, reason);
  }
  corner_ = corner;
  const auto parent = superview();
  const platform::Size size = parent ? parent->bounds().size : platform::Size{};
  double x = size.width - relativeWidth(size, corner);
  const double y = size.height - relativeHeight(size, corner);
  if (adChoicesIcon_ && !expandable_ && !isRightCorner(corner)) x = 0.0;
  setFrame({x, y, badgeWidth(), badgeHeight()});
  if (parent) parent->bringSubviewToFront(sharedBadge());
}

void OVAdChoicesView::setCorner(platform::RectCorner corner) {
  const bool changed = corner != corner_;
  corner_ = corner;
  updateView(changed);
  updateFrameFromSuperview(corner);
}

void OVAdChoicesView::setViewController(const std::shared_ptr<platform::ViewController>& viewController) {
  viewController_ = OVAdViewControllerProxy::proxyWithViewController(viewController);
}

void OVAdChoicesView::setBackgroundShown(bool shown) {
  backgroundShown_ = shown;
  setBackgroundColor(shown ? kDefaultBackground : platform::Color::clear());
}

void OVAdChoicesView::extend(bool extend, bool animate, bool persistChanges) {
  if (animating_ || extended_ == extend) return;
  animating_ = true;
  if (const auto label = label_.lock()) {
    label_.reset();
    if (animate) {
      OVAdUtility::animateWithFadeOut({label}, kLabelFadeDuration, [label](bool) { label->removeFromSuperview(); });
    } else {
      label->removeFromSuperview();
    }
  }
  auto self = sharedBadge();
  const auto change = [self, extend] {
    const double delta = extend ? kExtensionStep : -kExtensionStep;
    platform::Rect frame = self->frame();
    frame.size.width += delta;
    if (isRightCorner(self->corner_)) {
      frame.origin.x -= delta;
    } else {
      if (auto mask = self->mask()) {
        mask->rect.origin.x += delta;
        self->setMask(mask);
      }
      if (const auto iconView = self->sponsoredImageView_.lock()) {
        iconView->setFrame(iconView->frame().offsetBy(delta, 0));
      }
    }
    self->platform::View::setFrame(frame);
  };
  OVAdUtility::animateEnabledWithTransactionBlock(
      animate, [animate, change] { OVAdUtility::animateEnabled(animate, change, kFrameChangeDuration, nullptr); },
      kFrameChangeDuration, [self, extend, animate, persistChanges] {
        self->extended_ = extend;
        self->animating_ = false;
        if (!self->extended_) return;
        const auto label = self->generateLabel();
        self->addSubview(label);
        self->label_ = label;
        OVAdUtility::animateWithFadeIn({label}, kLabelFadeDuration, nullptr);
        if (persistChanges) return;
        platform::DispatchQueue::main()->after(kCollapseDelay, [self, animate] { self->extend(false, animate, false); });
      });
}

void OVAdChoicesView::sponsoredImageTapped() {
  if (!adChoicesLinkURL_) {
    OV_LOG(kOVAdLogLevelError, kNoLinkMessage, kClassName);
    return;
  }
  if (!adChoicesIcon_) return;
  if (expandable_ && !extended_) {
    extend(true, true, false);
    return;
  }
  OVAdSafariViewController::presentSafariViewControllerWithURL(*adChoicesLinkURL_, viewController_,
                                                               inlineClientToken_,
                                                               OVAdSafariViewController::currentTimeMs(),
                                                               browserDelegate_);
}

void OVAdChoicesView::setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd) {
  const auto previous = nativeAd_.lock();
  if (nativeAd) {
    updateViews(viewController_, clientTokenOf(nativeAd), nativeAd->adChoicesIcon(), nativeAd->adChoicesLinkURL(),
                nativeAd->adChoicesText(), nativeAd->adViewAttributes(), true);
    // A badge without an icon keeps its "Sponsored" text.
    if (adChoicesIcon_) {
      if (const auto label = label_.lock()) label->setText(adChoicesText_.value_or(kOVAdChoicesDefaultText));
    }
  }
  nativeAd_ = nativeAd;
  updateView(nativeAd != previous);
  updateFrameFromSuperview(corner_);
}

}  // namespace plexora

#include "internal/OVInterstitialDisplayAdInternal.h"

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/OVAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

bool isPortrait(platform::InterfaceOrientation orientation) {
  return orientation == platform::InterfaceOrientation::Portrait ||
         orientation == platform::InterfaceOrientation::PortraitUpsideDown;
}

}  // namespace

std::shared_ptr<OVInterstitialDisplayAdInternal> OVInterstitialDisplayAdInternal::initWithPlacementID(
    const std::string& placementID, const platform::Dictionary& adData,
    const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition) {
  std::shared_ptr<OVInterstitialDisplayAdInternal> internal(new OVInterstitialDisplayAdInternal());
  internal->placementID_ = placementID;
  internal->adView_ = OVAdViewInternal::initWithAdData(adData, placementDefinition, kOVAdSizeInterstitial);
  internal->adView_->setDelegate(std::weak_ptr<OVAdViewDelegate>(internal));
  internal->adView_->setInternalDelegate(std::weak_ptr<OVAdViewInternalDelegate>(internal));
  internal->setView(internal->adView_);
  return internal;
}

OVInterstitialDisplayAdInternal::~OVInterstitialDisplayAdInternal() {
  if (adView_) {
    adView_->setDelegate({});
    adView_->setInternalDelegate({});
  }
}

platform::InterfaceOrientationMask OVInterstitialDisplayAdInternal::supportedInterfaceOrientations() const {
  return platform::isLandscape(adView_->orientation()) ? platform::kInterfaceOrientationMaskLandscape
                                                       : platform::kInterfaceOrientationMaskPortrait;
}

platform::InterfaceOrientation OVInterstitialDisplayAdInternal::preferredInterfaceOrientationForPresentation() const {
  return adView_->orientation();
}

platform::Rect OVInterstitialDisplayAdInternal::frameForPresentationInWindow() {
  return OVAdScreen::boundsInOrientation();
}

void OVInterstitialDisplayAdInternal::viewDidLoad() { adView_->setFrame(frameForPresentationInWindow()); }

void OVInterstitialDisplayAdInternal::viewWillAppear(bool /*animated*/) {
  adView_->setFrame(frameForPresentationInWindow());
}

bool OVInterstitialDisplayAdInternal::isAdValid() const { return adView_->isAdValid(); }

void OVInterstitialDisplayAdInternal::loadAd() { adView_->loadAd(); }

void OVInterstitialDisplayAdInternal::loadAdFromMarkup(const std::string& markup, const std::string& activationCommand,
                                                       platform::InterfaceOrientation orientation) {
  adView_->loadAdFromMarkup(markup, activationCommand, orientation);
}

bool OVInterstitialDisplayAdInternal::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return showAdFromRootViewController(
      rootViewController ? rootViewController : OVAdViewControllerProxy::viewController(), true);
}

bool OVInterstitialDisplayAdInternal::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool animated) {
  const std::lock_guard lock(showLock_);
  if (!adView_->isAdValid() || adView_->isModalViewPresenting()) {
    return false;
  }
  const auto mask = OVAdUtility::supportedInterfaceOrientationsForWindow(adView_->window());
  const auto orientation = adView_->orientation();
  if (isPortrait(orientation) && !OVAdUtility::interfaceOrientationMaskSupportsPortrait(mask)) {
    return false;
  }
  if (platform::isLandscape(orientation) && !OVAdUtility::interfaceOrientationMaskSupportsLandscape(mask)) {
    return false;
  }
  const auto presenting = rootViewController ? rootViewController->currentViewController() : nullptr;
  if (!presenting) {
    return false;
  }
  adView_->setModalViewPresenting(true);
  const auto application = platform::Application::shared();
  isStatusBarHidden_ = application->isStatusBarHidden();
  OVAdUtility::setApplicationStatusBarHidden(true);
  const std::weak_ptr<OVInterstitialDisplayAdInternal> weakSelf =
      std::static_pointer_cast<OVInterstitialDisplayAdInternal>(sharedInternal());
  const bool presented = presenting->present(sharedInternal(), animated, [weakSelf] {
    if (const auto self = weakSelf.lock()) self->adView_->setModalViewPresenting(false);
  });
  if (!presented) {
    // A refused presentation shows nothing: it must not count as shown.
    adView_->setModalViewPresenting(false);
    OVAdUtility::setApplicationStatusBarHidden(isStatusBarHidden_);
    return false;
  }
  presenter_ = rootViewController;
  adView_->setPresenter(presenter_);
  interstitialOpenedTime_ = platform::Clock::current()->wallTime();
  return true;
}

void OVInterstitialDisplayAdInternal::exitInterstitial() {
  if (const auto target = delegate()) target->interstitialAdWillClose(sharedInternal());
  OVAdUtility::setApplicationStatusBarHidden(isStatusBarHidden_);
  const std::weak_ptr<OVInterstitialDisplayAdInternal> weakSelf =
      std::static_pointer_cast<OVInterstitialDisplayAdInternal>(sharedInternal());
  dismiss(true, [weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) return;
    if (const auto target = self->delegate()) target->interstitialAdDidClose(self);
  });
}

// ---- What the ad view reports ----

void OVInterstitialDisplayAdInternal::adViewWillClose(const std::shared_ptr<OVAdViewInternal>& /*adView*/) {
  exitInterstitial();
  if (interstitialOpenedTime_) {
    const auto model = adView_->offsiteAd();
    OVAdCommandProcessor::sendBouncebackInfo(interstitialOpenedTime_, OVAdAction::Close,
                                             model ? model->requestId() : std::nullopt);
    interstitialOpenedTime_.reset();
  }
}

void OVInterstitialDisplayAdInternal::adViewDidLoad(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) target->interstitialAdDidLoad(sharedInternal());
}

void OVInterstitialDisplayAdInternal::adView(const std::shared_ptr<OVAdView>& /*adView*/,
                                             const platform::Error& error) {
  if (const auto target = delegate()) target->interstitialAd(sharedInternal(), error);
}

void OVInterstitialDisplayAdInternal::adViewDidClick(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) target->interstitialAdDidClick(sharedInternal());
}

void OVInterstitialDisplayAdInternal::adViewWillLogImpression(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) target->interstitialAdWillLogImpression(sharedInternal());
}

}  // namespace plexora

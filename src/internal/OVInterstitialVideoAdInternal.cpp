#include "internal/OVInterstitialVideoAdInternal.h"

#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/video/OVInterstitialVideoAdContentView.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

using platform::InterfaceOrientation;
using platform::InterfaceOrientationMask;

bool isPortrait(InterfaceOrientation orientation) {
  return orientation == InterfaceOrientation::Portrait || orientation == InterfaceOrientation::PortraitUpsideDown;
}

}  // namespace

std::shared_ptr<OVInterstitialVideoAdInternal> OVInterstitialVideoAdInternal::initWithPlacementID(
    const std::string& /*placementID*/, const platform::Dictionary& adData,
    const std::shared_ptr<OVAdPlacementDefinition>& /*placementDefinition*/) {
  std::shared_ptr<OVInterstitialVideoAdInternal> internal(new OVInterstitialVideoAdInternal());
  internal->commandProcessor_ = OVAdCommandProcessor::create();
  internal->commandProcessor_->setDelegate(std::weak_ptr<OVAdCommandProcessorDelegate>(internal));
  internal->dataModel_ = OVInstreamAdDataModel::initWithMetadata(platform::Value(adData));
  internal->contentView_ = OVInterstitialVideoAdContentView::create();
  if (internal->contentView_) {
    internal->contentView_->setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate>(internal));
    internal->setView(internal->contentView_);
  }
  return internal;
}

void OVInterstitialVideoAdInternal::setEventManager(std::shared_ptr<OVAdEventManager> eventManager) {
  eventManager_ = eventManager;
  commandProcessor_->setEventManager(std::move(eventManager));
}

std::shared_ptr<OVAdEventManager> OVInterstitialVideoAdInternal::eventManager() const {
  return eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
}

// ---- Orientations ----

InterfaceOrientationMask OVInterstitialVideoAdInternal::supportedInterfaceOrientations() const {
  if (!dataModel_) return platform::kInterfaceOrientationMaskAll;
  const auto view = viewIfLoaded();
  const auto window = OVAdUtility::supportedInterfaceOrientationsForWindow(view ? view->window() : nullptr);
  const auto orientation = dataModel_->orientation();
  if (platform::isLandscape(orientation) && OVAdUtility::interfaceOrientationMaskSupportsLandscape(window)) {
    return platform::kInterfaceOrientationMaskLandscape;
  }
  if (!OVAdUtility::interfaceOrientationMaskSupportsPortrait(window)) return platform::kInterfaceOrientationMaskAll;
  return isPortrait(orientation) ? platform::kInterfaceOrientationMaskPortrait : platform::kInterfaceOrientationMaskAll;
}

InterfaceOrientation OVInterstitialVideoAdInternal::preferredInterfaceOrientationForPresentation() const {
  const auto screen = platform::Application::shared()->statusBarOrientation();
  if (!dataModel_) return screen;
  const auto view = viewIfLoaded();
  const auto window = OVAdUtility::supportedInterfaceOrientationsForWindow(view ? view->window() : nullptr);
  const auto orientation = dataModel_->orientation();
  if (isPortrait(orientation) && platform::isLandscape(screen)) {
    if (window & platform::kInterfaceOrientationMaskPortrait) return InterfaceOrientation::Portrait;
    if (window & platform::kInterfaceOrientationMaskPortraitUpsideDown) return InterfaceOrientation::PortraitUpsideDown;
  } else if (platform::isLandscape(orientation) && isPortrait(screen)) {
    if (window & platform::kInterfaceOrientationMaskLandscapeRight) return InterfaceOrientation::LandscapeRight;
    if (window & platform::kInterfaceOrientationMaskLandscapeLeft) return InterfaceOrientation::LandscapeLeft;
  }
  return screen;
}

// ---- Loading and showing ----

bool OVInterstitialVideoAdInternal::isAdValid() const { return contentView_ && dataModel_ && dataModel_->isValid(); }

void OVInterstitialVideoAdInternal::loadAd() {
  if (contentView_) contentView_->loadAdFromDataModel(dataModel_);
}

bool OVInterstitialVideoAdInternal::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  const std::lock_guard lock(showLock_);
  if (!isAdValid()) return false;
  return showAdFromRootViewController(
      rootViewController ? rootViewController : OVAdViewControllerProxy::viewController(), true);
}

bool OVInterstitialVideoAdInternal::showAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool /*animated*/) {
  const std::lock_guard lock(showLock_);
  if (!isAdValid() || presented_) return false;
  const auto presenting = rootViewController ? rootViewController->currentViewController() : nullptr;
  if (!presenting) return false;
  const std::weak_ptr<OVInterstitialVideoAdInternal> weakSelf = sharedVideoInternal();
  // The video always slides in.
  const bool presented = presenting->present(sharedInternal(), true, [weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) return;
    if (const auto target = self->delegate()) target->interstitialAdWillLogImpression(self);
    if (const auto token = self->dataModel_->inlineClientToken()) {
      self->eventManager()->logImpressionForToken(*token, std::nullopt);
    }
  });
  if (!presented) return false;
  presented_ = true;
  contentView_->startFromRootViewController(rootViewController);
  return true;
}

void OVInterstitialVideoAdInternal::unload() {
  if (!presented_ || unloading_) return;
  unloading_ = true;
  if (const auto target = delegate()) target->interstitialAdWillClose(sharedInternal());
  const std::weak_ptr<OVInterstitialVideoAdInternal> weakSelf = sharedVideoInternal();
  dismiss(true, [weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) return;
    if (const auto target = self->delegate()) target->interstitialAdDidClose(self);
  });
}

// ---- Click-through ----

void OVInterstitialVideoAdInternal::handleLink() {
  const std::weak_ptr<OVInterstitialVideoAdInternal> weakSelf = sharedVideoInternal();
  commandProcessor_->processCommand(
      *dataModel_->callToActionURL(), dataModel_,
      [weakSelf](OVAdCommand command, OVAdAction /*action*/, const std::shared_ptr<OVAdDataModel>& /*model*/) {
        if (command != OVAdCommand::Click) return;
        if (const auto self = weakSelf.lock()) self->registerClick();
      });
}

void OVInterstitialVideoAdInternal::registerClick() {
  if (const auto target = delegate()) target->interstitialAdDidClick(sharedInternal());
}

// ---- What the content view reports ----

void OVInterstitialVideoAdInternal::contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>& /*contentView*/) {
  if (const auto target = delegate()) target->interstitialAdDidLoad(sharedInternal());
}

void OVInterstitialVideoAdInternal::contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>&) {}
void OVInterstitialVideoAdInternal::contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>&) {}
void OVInterstitialVideoAdInternal::contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>&) {}
void OVInterstitialVideoAdInternal::contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>&) {}

void OVInterstitialVideoAdInternal::contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>& /*contentView*/) {
  unload();
}

void OVInterstitialVideoAdInternal::contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>& /*contentView*/) {
  unload();
}

void OVInterstitialVideoAdInternal::contentViewDidClickthrough(
    const std::shared_ptr<OVVideoAdContentView>& /*contentView*/) {
  if (dataModel_->callToActionURL()) {
    handleLink();
    return;
  }
  const auto& destination = dataModel_->destinationURL();
  const auto application = platform::Application::shared();
  if (destination && application->canOpenURL(*destination)) {
    application->openURL(*destination);
    registerClick();
  }
}

void OVInterstitialVideoAdInternal::contentView(const std::shared_ptr<OVVideoAdContentView>& /*contentView*/,
                                                const platform::Error& error) {
  // The ad fails once, and not after its close began: a failure then is no
  // news to the host, which is already told the ad is going.
  if (failed_ || unloading_) return;
  failed_ = true;
  if (const auto target = delegate()) target->interstitialAd(sharedInternal(), error);
  unload();
}

}  // namespace plexora

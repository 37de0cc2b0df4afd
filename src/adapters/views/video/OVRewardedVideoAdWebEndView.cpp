#include "adapters/views/video/OVRewardedVideoAdWebEndView.h"

#include <cctype>
#include <mutex>

#include "adapters/OVRewardedVideoAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdContentContainerTouchRecord.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"

namespace plexora {

OVRewardedVideoAdEndView::Maker& OVRewardedVideoAdEndView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
                        std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                        platform::InterfaceOrientation orientation) -> std::shared_ptr<OVRewardedVideoAdEndView> {
      return OVRewardedVideoAdWebEndView::initWithPlacementID(placementID, adData, minViewability, rootViewController,
                                                              orientation);
    });
  });
  return instance;
}

// ---- Making ----

std::shared_ptr<OVRewardedVideoAdWebEndView> OVRewardedVideoAdWebEndView::initWithPlacementID(
    const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
    std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
    platform::InterfaceOrientation /*orientation*/) {
  if (!rootViewController) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException,
                                        kOVRewardedVideoAdEndViewRootViewControllerNilReason);
  }
  auto view = std::make_shared<OVRewardedVideoAdWebEndView>(
      placementID,
      adData ? adData : OVRewardedVideoAdDataModel::initWithMetadata(platform::Value(platform::Dictionary{})),
      minViewability, rootViewController);
  view->build();
  return view;
}

std::shared_ptr<OVRewardedVideoAdWebEndView> OVRewardedVideoAdWebEndView::initWithFrame(platform::Rect /*frame*/) {
  return initWithPlacementID("", nullptr, 0, OVAdViewControllerProxy::viewController(),
                             static_cast<platform::InterfaceOrientation>(OVAdScreen::orientation()));
}

OVRewardedVideoAdWebEndView::OVRewardedVideoAdWebEndView(
    const std::string& placementID, std::shared_ptr<OVRewardedVideoAdDataModel> adData, std::int64_t minViewability,
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController)
    : placementID_(placementID),
      rewardedVideoDataModel_(std::move(adData)),
      minViewabilityPercentage_(minViewability),
      rootViewController_(rootViewController),
      autoRotateEnabled_(OVAdConfigManager::sharedManager()->rvAutoRotate() == kOVRewardedVideoAdAutoRotateEnabled) {}

OVRewardedVideoAdWebEndView::~OVRewardedVideoAdWebEndView() {
  delegate_.reset();
  OVAdNotificationCenter::removeAllObserversForObject(static_cast<const platform::View*>(this));
}

std::shared_ptr<OVRewardedVideoAdWebEndView> OVRewardedVideoAdWebEndView::self() {
  return std::static_pointer_cast<OVRewardedVideoAdWebEndView>(sharedView());
}

void OVRewardedVideoAdWebEndView::build() {
  const auto view = self();
  commandHandler_ = OVAdCommandProcessor::create();
  commandHandler_->setDelegate(std::static_pointer_cast<OVAdCommandProcessorDelegate>(view));
  contentContainer_ = OVAdCreateContentContainer(view, forceUIWebView_, bounds().size, kOVAdSizeInterstitial);
  if (!contentContainer_) return;
  contentContainer_->setDelegate(std::static_pointer_cast<OVAdContentContainerDelegate>(view));
  contentContainer_->loadAdData(rewardedVideoDataModel_, kContainerMinViewability);
  // The bridge and the activation command are set up once the page has
  // loaded (adDidLoad): run now, they would meet a page still loading, whose
  // functions are not defined yet, and the command would be lost.
  contentContainer_->loadAdMarkup(rewardedVideoDataModel_->markup().value_or(""),
                                  rewardedVideoDataModel_->activationCommand().value_or(""));
  if (const auto page = contentContainer_->getView()) {
    page->setHidden(false);
    addSubview(page);
  }
}

// ---- Showing ----

void OVRewardedVideoAdWebEndView::setFrameOnShow(platform::Rect frame) {
  setFrame(frame);
  if (contentContainer_) contentContainer_->setFrame(frame);
}

void OVRewardedVideoAdWebEndView::setupNotification() {
  OVAdNotificationCenter::removeAllObserversForObject(static_cast<const platform::View*>(this));
  if (!autoRotateEnabled_) return;
  const std::weak_ptr<OVRewardedVideoAdWebEndView> weakSelf = self();
  OVAdNotificationCenter::notificationCenterForObject(sharedView())
      ->addNotificationWithName(kOVDeviceOrientationDidChangeNotification, [weakSelf](const platform::Notification&) {
        if (const auto view = weakSelf.lock()) view->setFrameOnShow(OVAdScreen::boundsInOrientation());
      });
}

// ---- The command processor's questions ----

std::optional<platform::Value> OVRewardedVideoAdWebEndView::commandProcessorTouchInformation(
    OVAdCommandProcessor& /*processor*/) {
  if (!contentContainer_) return std::nullopt;
  if (auto record = OVAdContentContainerTouchRecord(*contentContainer_)) return platform::Value(std::move(*record));
  return std::nullopt;
}

std::shared_ptr<OVAdViewControllerProxy> OVRewardedVideoAdWebEndView::viewControllerForPresentingModalView() {
  if (auto root = rootViewController_.lock()) return root;
  return OVAdViewControllerProxy::viewController();
}

// ---- The container's reports ----

void OVRewardedVideoAdWebEndView::adDidLoad() {
  if (contentContainer_) contentContainer_->initializeJavascriptAdControl();
}

void OVRewardedVideoAdWebEndView::adDidFailToLoadWithError(const platform::Error& error) {
  if (const auto target = delegate()) target->rewardedVideoAdEndView(self(), error);
}

void OVRewardedVideoAdWebEndView::adDidLogClick() {
  if (const auto target = delegate()) target->rewardedVideoAdEndViewClicked(self());
}

// ---- Links ----

bool OVRewardedVideoAdWebEndView::isOVAdScheme(const platform::URL& url) {
  std::string scheme = url.scheme();
  for (char& character : scheme) {
    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  }
  return scheme == kOVAdCommandScheme;
}

bool OVRewardedVideoAdWebEndView::processRequestURL(const platform::URL& url,
                                                    const std::shared_ptr<OVAdDataModel>& adDataModel,
                                                    const platform::Value& extraData) {
  if (isOVAdScheme(url)) {
    // The container keeps only HTML models: for the card's markup it hands
    // none, and a command needs the ad's data to be logged against.
    return processOVAdSchemeLink(url, adDataModel ? adDataModel : rewardedVideoDataModel_, extraData);
  }
  handleClickWithExtraData(extraData);
  platform::Application::shared()->openURL(url);
  return true;
}

bool OVRewardedVideoAdWebEndView::processOVAdSchemeLink(const platform::URL& url,
                                                        const std::shared_ptr<OVAdDataModel>& adDataModel,
                                                        const platform::Value& extraData) {
  if (!isOVAdScheme(url)) return false;
  const std::weak_ptr<OVRewardedVideoAdWebEndView> weakSelf = self();
  return commandHandler_->processCommand(
      url, adDataModel,
      [weakSelf, extraData](OVAdCommand command, OVAdAction /*action*/, const std::shared_ptr<OVAdDataModel>&) {
        if (const auto view = weakSelf.lock()) view->commandCompleted(command, extraData);
      });
}

void OVRewardedVideoAdWebEndView::commandCompleted(OVAdCommand command, const platform::Value& extraData) {
  switch (command) {
    case OVAdCommand::Close:
      close();
      return;
    case OVAdCommand::Click:
      handleClickWithExtraData(extraData);
      return;
  }
  // Thrown here, the exception would leave the command processor in the
  // middle of its completion: the value is reported and nothing happens.
  OV_LOG(kOVAdLogLevelError, kOVRewardedVideoAdEndViewUnknownCommandFormat, static_cast<long long>(command));
}

void OVRewardedVideoAdWebEndView::close() {
  OVAdNotificationCenter::removeAllObserversForObject(static_cast<const platform::View*>(this));
  if (const auto target = delegate()) target->rewardedVideoAdEndViewWillClose(self());
  if (contentContainer_) {
    if (const auto page = contentContainer_->getView()) page->removeFromSuperview();
  }
  contentContainer_.reset();
}

void OVRewardedVideoAdWebEndView::handleClickWithExtraData(const platform::Value& extraData) {
  if (contentContainer_) contentContainer_->logClickWithExtraData(extraData);
  adDidLogClick();
}

}  // namespace plexora

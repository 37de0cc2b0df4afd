#include "plexora/OVInterstitialAd.h"

#include "controllers/OVDisplayAdController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/ui/ViewController.h"
#include "server/OVAdEnvironmentData.h"
#include "util/OVAdUtility.h"
#include "util/OVAdWebProcessWarmUp.h"

namespace plexora {

// The interstitial's side of its controller, kept out of the host's
// header. Holds the interstitial weakly, as every delegate is held.
class OVInterstitialAdControllerEvents final : public OVDisplayAdControllerDelegate {
 public:
  explicit OVInterstitialAdControllerEvents(std::weak_ptr<OVInterstitialAd> ad) : ad_(std::move(ad)) {}

  void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerLoaded();
  }
  void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerStopped();
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const platform::Error& error) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerFailed(error);
  }
  void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerImpression();
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const std::optional<platform::URL>& /*clickThruWithURL*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerClickThru();
  }
  void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto ad = ad_.lock()) ad->displayAdControllerUserClosed();
  }

  // The presented view and the native overloads keep their empty defaults.
  using OVDisplayAdControllerDelegate::displayAdController;

 private:
  std::weak_ptr<OVInterstitialAd> ad_;
};

std::shared_ptr<OVInterstitialAd> OVInterstitialAd::init() { return initWithPlacementID(std::string()); }

std::shared_ptr<OVInterstitialAd> OVInterstitialAd::initWithPlacementID(const std::string& placementID) {
  platform::requireMainThread("OVInterstitialAd::initWithPlacementID");
  // Before the library starts: the engine's agent is then known to the URL
  // session from its first ask.
  OVAdWarmUpWebProcess();
  OVAdUtility::initializePlexora();
  std::shared_ptr<OVInterstitialAd> ad(new OVInterstitialAd());
  ad->adController_ = OVDisplayAdController::create();
  ad->controllerEvents_ = std::make_shared<OVInterstitialAdControllerEvents>(ad);
  ad->adController_->setDelegate(ad->controllerEvents_);
  ad->placementID_ = placementID;
  // A full-screen ad is never replaced under the user's eyes.
  ad->adController_->disableAutoRefresh();
  return ad;
}

OVInterstitialAd::~OVInterstitialAd() = default;

void OVInterstitialAd::setDelegate(std::weak_ptr<OVInterstitialAdDelegate> delegate) {
  platform::requireMainThread("OVInterstitialAd::setDelegate");
  delegate_ = std::move(delegate);
}

void OVInterstitialAd::doLoadAd(const std::optional<std::string>& bidPayload) {
  platform::requireMainThread("OVInterstitialAd::doLoadAd");
  if (!initialized_) {
    adController_->loadAdWithPlacementId(placementID_, kOVAdPlacementTypeInterstitial,
                                         OVAdUtility::getTemplateID(kOVAdSizeInterstitial), kOVAdSizeInterstitial,
                                         nullptr, nullptr, bidPayload);
  } else {
    adController_->refresh();
  }
  initialized_ = true;
}

void OVInterstitialAd::loadAd() {
  platform::requireMainThread("OVInterstitialAd::loadAd");
  doLoadAd(std::nullopt);
}

bool OVInterstitialAd::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  platform::requireMainThread("OVInterstitialAd::showAdFromRootViewController");
  const auto proxy = OVAdViewControllerProxy::proxyWithViewController(rootViewController);
  // Counted before any check: a refused or failed first call uses the show.
  ++showCount_;
  if (showCount_ > maxShowCount_) {
    OVAdUtility::throwExceptionWithName(kOVInterstitialAdInvalidOperationException, kOVInterstitialAdShownTwiceReason);
  }
  return adController_->startAdFromRootViewController(proxy);
}

bool OVInterstitialAd::isAdValid() const { return initialized_ && ready_; }

// ---- What the controller reports ----

void OVInterstitialAd::displayAdControllerLoaded() {
  ready_ = true;
  if (const auto target = delegate()) target->interstitialAdDidLoad(shared_from_this());
}

void OVInterstitialAd::displayAdControllerFailed(const platform::Error& error) {
  ready_ = false;
  if (const auto target = delegate()) target->interstitialAd(shared_from_this(), error);
}

void OVInterstitialAd::displayAdControllerImpression() {
  if (const auto target = delegate()) target->interstitialAdWillLogImpression(shared_from_this());
}

void OVInterstitialAd::displayAdControllerClickThru() {
  if (const auto target = delegate()) target->interstitialAdDidClick(shared_from_this());
}

void OVInterstitialAd::displayAdControllerUserClosed() {
  if (const auto target = delegate()) target->interstitialAdWillClose(shared_from_this());
}

void OVInterstitialAd::displayAdControllerStopped() {
  if (const auto target = delegate()) target->interstitialAdDidClose(shared_from_this());
}

}  // namespace plexora

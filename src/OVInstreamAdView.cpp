#include "plexora/OVInstreamAdView.h"

#include "controllers/OVDisplayAdController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "server/OVAdEnvironmentData.h"
#include "platform/foundation/Exception.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

// Every in-stream ad asks for the in-stream template.
constexpr std::int64_t kInstreamTemplateID = 300;

}  // namespace

// The view's side of its controller: kept apart from the public class so
// the host's header knows nothing of the controller. Holds the view weakly,
// as every delegate is held.
class OVInstreamAdViewControllerEvents final : public OVDisplayAdControllerDelegate {
 public:
  explicit OVInstreamAdViewControllerEvents(std::weak_ptr<OVInstreamAdView> adView) : adView_(std::move(adView)) {}

  void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerLoaded();
  }
  void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerStopped();
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const platform::Error& error) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerFailed(error);
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const std::shared_ptr<platform::View>& presentedView) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerPresentedView(presentedView);
  }
  void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerImpression();
  }
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                           const std::optional<platform::URL>& /*clickThruWithURL*/) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerClickThru();
  }

  // The overloads an in-stream ad does not use keep their empty defaults.
  using OVDisplayAdControllerDelegate::displayAdController;

 private:
  std::weak_ptr<OVInstreamAdView> adView_;
};

OVInstreamAdView::OVInstreamAdView(std::string placementID) : placementID_(std::move(placementID)) {}

OVInstreamAdView::~OVInstreamAdView() = default;

std::shared_ptr<OVInstreamAdView> OVInstreamAdView::initWithPlacementID(const std::optional<std::string>& placementID) {
  platform::requireMainThread("OVInstreamAdView::initWithPlacementID");
  if (!placementID) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVInstreamAdViewNilPlacementReason);
  }
  std::shared_ptr<OVInstreamAdView> view(new OVInstreamAdView(*placementID));
  view->setClipsToBounds(true);
  return view;
}

std::shared_ptr<OVInstreamAdView> OVInstreamAdView::initWithFrame(platform::Rect /*frame*/) {
  platform::requireMainThread("OVInstreamAdView::initWithFrame");
  return initWithPlacementID(std::string());
}

void OVInstreamAdView::loadAd() {
  platform::requireMainThread("OVInstreamAdView::loadAd");
  if (adController_) {
    OV_LOG(kOVAdLogLevelError, "%s", kOVInstreamAdViewAlreadyLoadedMessage);
    return;
  }
  adController_ = OVDisplayAdController::create();
  controllerEvents_ = std::make_shared<OVInstreamAdViewControllerEvents>(sharedInstreamAdView());
  adController_->setDelegate(controllerEvents_);
  adController_->loadAdWithPlacementId(placementID_, kOVAdPlacementTypeInstream, kInstreamTemplateID);
  adController_->disableAutoRefresh();
}

bool OVInstreamAdView::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  platform::requireMainThread("OVInstreamAdView::showAdFromRootViewController");
  if (!loaded_ || started_) return false;
  started_ = true;
  return adController_->startAdFromRootViewController(
      OVAdViewControllerProxy::proxyWithViewController(rootViewController));
}

// ---- What the controller reports ----

void OVInstreamAdView::removeAdView() {
  if (instreamVideoAdView_) instreamVideoAdView_->removeFromSuperview();
  instreamVideoAdView_.reset();
}

void OVInstreamAdView::displayAdControllerLoaded() {
  loaded_ = true;
  if (const auto target = delegate()) target->adViewDidLoad(sharedInstreamAdView());
}

// An ad ends or fails once: a late failure of its video, or an unload after
// a failure, is not news to the host.
bool OVInstreamAdView::finish() {
  loaded_ = false;
  removeAdView();
  if (finished_) return false;
  finished_ = true;
  return true;
}

void OVInstreamAdView::displayAdControllerStopped() {
  if (!finish()) return;
  if (const auto target = delegate()) target->adViewDidEnd(sharedInstreamAdView());
}

void OVInstreamAdView::displayAdControllerFailed(const platform::Error& error) {
  if (!finish()) return;
  if (const auto target = delegate()) target->adView(sharedInstreamAdView(), error);
}

void OVInstreamAdView::displayAdControllerPresentedView(const std::shared_ptr<platform::View>& view) {
  instreamVideoAdView_ = view;
  if (!view) return;
  view->setFrame(bounds());
  view->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  addSubview(view);
}

void OVInstreamAdView::displayAdControllerImpression() {
  if (const auto target = delegate()) target->adViewWillLogImpression(sharedInstreamAdView());
}

void OVInstreamAdView::displayAdControllerClickThru() {
  if (const auto target = delegate()) target->adViewDidClick(sharedInstreamAdView());
}

}  // namespace plexora

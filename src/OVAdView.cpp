#include "plexora/OVAdView.h"

#include <typeinfo>

#include "controllers/OVDisplayAdController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Color.h"
#include "platform/ui/ViewController.h"
#include "server/OVAdEnvironmentData.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"
#include "util/OVAdWebProcessWarmUp.h"

namespace plexora {

// The banner's side of its controller: kept apart from the public class so
// the host's header knows nothing of the controller. Holds the banner
// weakly, as every delegate is held.
class OVAdViewControllerEvents final : public OVDisplayAdControllerDelegate {
 public:
  explicit OVAdViewControllerEvents(std::weak_ptr<OVAdView> adView) : adView_(std::move(adView)) {}

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
  void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>& /*controller*/) override {
    if (const auto adView = adView_.lock()) adView->displayAdControllerUserClosed();
  }

  // The overloads a banner does not use keep their empty defaults.
  using OVDisplayAdControllerDelegate::displayAdController;

 private:
  std::weak_ptr<OVAdView> adView_;
};

namespace {

bool isFlexibleBannerSize(OVAdSize size) { return size == kOVAdSizeHeight50Banner || size == kOVAdSizeHeight90Banner; }

}  // namespace

OVAdView::OVAdView() = default;

OVAdView::~OVAdView() = default;

std::shared_ptr<OVAdView> OVAdView::initWithPlacementID(
    const std::optional<std::string>& placementID, OVAdSize adSize,
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  platform::requireMainThread("OVAdView::initWithPlacementID");
  if (!placementID) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException, kOVAdViewNilPlacementReason);
  }
  std::shared_ptr<OVAdView> banner(new OVAdView());
  banner->rootViewController_ = rootViewController;
  banner->viewController_ = OVAdViewControllerProxy::proxyWithViewController(rootViewController);
  // Before the library starts: the engine's agent is then known to the URL
  // session from its first ask.
  OVAdWarmUpWebProcess();
  OVAdUtility::initializePlexora();
  banner->placementID_ = *placementID;
  banner->adSize_ = adSize;
  banner->adController_ = OVDisplayAdController::create();
  banner->controllerEvents_ = std::make_shared<OVAdViewControllerEvents>(banner);
  banner->adController_->setDelegate(banner->controllerEvents_);
  banner->setClipsToBounds(true);
  banner->setBackgroundColor(platform::Color::clear());
  banner->updateInitialAdViewSize(adSize);
  return banner;
}

std::shared_ptr<OVAdView> OVAdView::initWithFrame(platform::Rect frame) {
  platform::requireMainThread("OVAdView::initWithFrame");
  auto banner = initWithPlacementID(std::string(), kOVAdSizeHeight50Banner, nullptr);
  banner->setFrame({frame.origin, banner->frame().size});
  return banner;
}

// ---- Loading ----

void OVAdView::doLoadAd(const std::optional<std::string>& bidPayload) {
  platform::requireMainThread("OVAdView::doLoadAd");
  if (!initialized_) {
    adController_->loadAdWithPlacementId(placementID_, kOVAdPlacementTypeBanner, OVAdUtility::getTemplateID(adSize_),
                                         adSize_, nullptr, nullptr, bidPayload);
  } else {
    adController_->refresh();
  }
  initialized_ = true;
  OVAdUtility::markView(std::static_pointer_cast<platform::View>(shared_from_this()));
}

void OVAdView::loadAd() {
  platform::requireMainThread("OVAdView::loadAd");
  doLoadAd(std::nullopt);
}

void OVAdView::disableAutoRefresh() {
  platform::requireMainThread("OVAdView::disableAutoRefresh");
  if (adController_) {
    adController_->disableAutoRefresh();
  }
}

bool OVAdView::isAdValid() const {
  // An ad is shown from its presentation on, its page still loading
  // included; an HTML ad whose page failed or never loaded in time is not.
  const auto shown = adView_.lock();
  if (!shown) {
    return false;
  }
  const auto ad = std::dynamic_pointer_cast<const OVAdView>(shown);
  return !ad || ad->isAdValid();
}

// ---- Layout ----

void OVAdView::setFrame(platform::Rect frame) {
  platform::View::setFrame(frame);
  // A host's subclass lays its ad view out itself.
  if (typeid(*this) == typeid(OVAdView)) {
    if (const auto shown = adView_.lock()) shown->setFrame(bounds());
  }
}

void OVAdView::setBounds(platform::Rect bounds) {
  platform::View::setBounds(bounds);
  if (typeid(*this) == typeid(OVAdView)) {
    if (const auto shown = adView_.lock()) shown->setFrame(bounds);
  }
}

void OVAdView::clearSubviews() {
  for (const auto& subview : subviews()) {
    subview->removeFromSuperview();
  }
}

void OVAdView::updateInitialAdViewSize(OVAdSize adSize) {
  const bool flexible = isFlexibleBannerSize(adSize);
  actualAdSize_ = OVAdUtility::sizeThatFits(OVAdScreen::sizeInOrientation(), flexible, adSize);
  setFrame({frame().origin, actualAdSize_});
}

// ---- What the controller reports ----

void OVAdView::displayAdControllerLoaded() { adController_->startAdFromRootViewController(viewController_); }

void OVAdView::displayAdControllerPresentedView(const std::shared_ptr<platform::View>& view) {
  clearSubviews();
  adView_ = view;
  if (!view) {
    return;
  }
  if (bounds() != platform::Rect::zero()) {
    view->setFrame(bounds());
  }
  addSubview(view);
  if (const auto target = delegate()) {
    target->adViewDidLoad(sharedAdView());
  }
}

void OVAdView::displayAdControllerStopped() {
  if (const auto shown = adView_.lock()) {
    shown->removeFromSuperview();
  }
  adView_.reset();
}

void OVAdView::displayAdControllerFailed(const platform::Error& error) {
  if (const auto target = delegate()) {
    target->adView(sharedAdView(), error);
  }
}

void OVAdView::displayAdControllerImpression() {
  if (const auto target = delegate()) {
    target->adViewWillLogImpression(sharedAdView());
  }
}

void OVAdView::displayAdControllerClickThru() {
  if (const auto target = delegate()) {
    target->adViewDidClick(sharedAdView());
  }
}

void OVAdView::displayAdControllerUserClosed() {
  if (const auto target = delegate()) {
    target->adViewDidFinishHandlingClick(sharedAdView());
  }
}

}  // namespace plexora

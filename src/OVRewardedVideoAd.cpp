#include "plexora/OVRewardedVideoAd.h"

#include "OVRewardedVideoAdEvents.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "plexora/OVAdSize.h"
#include "server/OVAdEnvironmentData.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr std::int64_t kRewardedTemplateID = 400;

}  // namespace

// ---- Creation ----

std::shared_ptr<OVRewardedVideoAd> OVRewardedVideoAd::init() { return initWithPlacementID(std::string()); }

std::shared_ptr<OVRewardedVideoAd> OVRewardedVideoAd::initWithPlacementID(const std::string& placementID) {
  return initWithPlacementID(placementID, std::nullopt, std::nullopt, 0);
}

std::shared_ptr<OVRewardedVideoAd> OVRewardedVideoAd::initWithPlacementID(const std::string& placementID,
                                                                          const std::optional<std::string>& userID,
                                                                          const std::optional<std::string>& currency) {
  return initWithPlacementID(placementID, userID, currency, 0);
}

std::shared_ptr<OVRewardedVideoAd> OVRewardedVideoAd::initWithPlacementID(const std::string& placementID,
                                                                          const std::optional<std::string>& userID,
                                                                          const std::optional<std::string>& currency,
                                                                          std::int64_t amount) {
  platform::requireMainThread("OVRewardedVideoAd::initWithPlacementID");
  std::shared_ptr<OVRewardedVideoAd> ad(new OVRewardedVideoAd());
  ad->adController_ = OVDisplayAdController::create();
  ad->events_ = std::make_shared<OVRewardedVideoAdEvents>(ad);
  ad->adController_->setDelegate(ad->events_);
  ad->rewardData_ = std::make_shared<OVRewardedVideoRewardData>(userID, currency, amount);
  ad->placementID_ = placementID;
  ad->adController_->disableAutoRefresh();
  return ad;
}

OVRewardedVideoAd::~OVRewardedVideoAd() = default;

// ---- Loading and showing ----

void OVRewardedVideoAd::loadAd() { doLoadAd(std::nullopt); }

void OVRewardedVideoAd::doLoadAd(const std::optional<std::string>& bidPayload) {
  platform::requireMainThread("OVRewardedVideoAd::doLoadAd");
  if (initialized_) {
    OVAdUtility::throwExceptionWithName(kOVRewardedVideoAdInvalidOperationException, kOVRewardedVideoAdLoadOnceReason);
  }
  adController_->loadAdWithPlacementId(placementID_, kOVAdPlacementTypeRewardedVideo, kRewardedTemplateID,
                                       kOVAdSizeInterstitial, nullptr, rewardData_, bidPayload);
  adController_->disableAutoRefresh();
  initialized_ = true;
}

bool OVRewardedVideoAd::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController) {
  return showAdFromRootViewController(rootViewController, true);
}

bool OVRewardedVideoAd::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController, bool animated) {
  platform::requireMainThread("OVRewardedVideoAd::showAdFromRootViewController");
  if (!rootViewController) {
    OVAdUtility::throwExceptionWithName(kOVRewardedVideoAdInvalidArgumentException, kOVRewardedVideoAdNoRootReason);
  }
  if (!isAdValid()) {
    OVAdUtility::throwExceptionWithName(kOVRewardedVideoAdInvalidOperationException, kOVRewardedVideoAdNotLoadedReason);
  }
  ++showCount_;
  if (showCount_ >= 2) {
    OVAdUtility::throwExceptionWithName(kOVRewardedVideoAdInvalidOperationException, kOVRewardedVideoAdShowOnceReason);
  }
  return adController_->startAdFromRootViewController(rootViewController, animated);
}

// ---- Reports of the controller ----

std::pair<std::shared_ptr<OVRewardedVideoAd>, std::shared_ptr<OVRewardedVideoAdDelegate>>
OVRewardedVideoAdEvents::target() const {
  auto ad = ad_.lock();
  auto delegate = ad ? ad->delegate() : nullptr;
  if (!delegate) return {};
  return {std::move(ad), std::move(delegate)};
}

void OVRewardedVideoAdEvents::displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto ad = ad_.lock()) ad->ready_ = true;
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdDidLoad(ad);
}

void OVRewardedVideoAdEvents::displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                                                  const platform::Error& error) {
  if (const auto ad = ad_.lock()) ad->ready_ = false;
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAd(ad, error);
}

void OVRewardedVideoAdEvents::displayAdControllerImpression(
    const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdWillLogImpression(ad);
}

void OVRewardedVideoAdEvents::displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                                                  const std::optional<platform::URL>& /*clickThruWithURL*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdDidClick(ad);
}

void OVRewardedVideoAdEvents::displayAdControllerUserClosed(
    const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdWillClose(ad);
}

void OVRewardedVideoAdEvents::displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdDidClose(ad);
}

void OVRewardedVideoAdEvents::displayAdControllerVideoComplete(
    const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdComplete(ad);
}

void OVRewardedVideoAdEvents::displayAdControllerServerRewardSuccess(
    const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdServerRewardDidSucceed(ad);
}

void OVRewardedVideoAdEvents::displayAdControllerServerRewardFailed(
    const std::shared_ptr<OVDisplayAdController>& /*controller*/) {
  if (const auto [ad, delegate] = target(); delegate) delegate->rewardedVideoAdServerRewardDidFail(ad);
}

}  // namespace plexora

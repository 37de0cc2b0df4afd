#include "internal/OVRewardedVideoAdInternal.h"

#include "adapters/OVRewardedVideoAdDataModel.h"
#include "internal/OVRewardedVideoAdServerReward.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/foundation/Exception.h"
#include "server/OVAdConnectionInfo.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kNoEndCardMessage = "Rewarded video shows no end card: %s";

}  // namespace

std::shared_ptr<OVRewardedVideoAdInternal> OVRewardedVideoAdInternal::initWithPlacementID(
    const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
    std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
    const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) {
  std::shared_ptr<OVRewardedVideoAdInternal> internal(new OVRewardedVideoAdInternal());
  internal->placementID_ = placementID;
  internal->rewardedVideoDataModel_ = adData;
  internal->minViewabilityPercentage_ = minViewability;
  internal->rewardData_ = rewardData;
  internal->videoController_ = OVRewardedVideoAdVideoInternal::initWithPlacementID(
      placementID, adData, minViewability, rootViewController, rewardData);
  internal->videoController_->setDelegate(std::weak_ptr<OVRewardedVideoAdVideoInternalDelegate>(internal));
  return internal;
}

OVRewardedVideoAdInternal::~OVRewardedVideoAdInternal() {
  if (videoController_) videoController_->setDelegate({});
  if (endCardController_) endCardController_->setDelegate({});
}

void OVRewardedVideoAdInternal::setEventManager(std::shared_ptr<OVAdEventManager> eventManager) {
  videoController_->setEventManager(std::move(eventManager));
}

bool OVRewardedVideoAdInternal::isAdValid() const { return videoController_ && videoController_->isAdValid(); }

bool OVRewardedVideoAdInternal::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, true);
}

bool OVRewardedVideoAdInternal::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool animated) {
  const bool shown = videoController_->showAdFromRootViewController(rootViewController, animated);
  shown_ = shown_ || shown;
  return shown;
}

bool OVRewardedVideoAdInternal::hasEndCardMarkup() const {
  const auto markup = rewardedVideoDataModel_ ? rewardedVideoDataModel_->markup() : std::nullopt;
  return !OVAdUtility::isStringEmpty(markup ? platform::Value(*markup) : platform::Value());
}

void OVRewardedVideoAdInternal::makeEndCardController() {
  if (endCardController_ || !hasEndCardMarkup()) {
    return;
  }
  try {
    endCardController_ = OVRewardedVideoAdEndCardInternal::initWithPlacementID(
        placementID_, rewardedVideoDataModel_, minViewabilityPercentage_, OVAdViewControllerProxy::viewController());
  } catch (const platform::Exception& exception) {
    // The video stands on its own: without a card the ad closes after it.
    OV_LOG(kOVAdLogLevelError, kNoEndCardMessage, exception.reason().c_str());
  }
  if (endCardController_) {
    endCardController_->setDelegate(std::weak_ptr<OVRewardedVideoAdEndCardInternalDelegate>(weak_from_this()));
  }
}

// ---- The close and the reward ----

void OVRewardedVideoAdInternal::close() {
  // Nothing to close before the show (a failing candidate is the
  // controller's to handle), and one close per ad.
  if (!shown_ || closing_) {
    return;
  }
  closing_ = true;
  const auto self = shared_from_this();
  if (const auto target = delegate()) target->rewardedVideoAdWillClose(self);
  auto finish = [weakSelf = weak_from_this()] {
    const auto internal = weakSelf.lock();
    if (!internal) return;
    internal->videoController_->restoreStatusBar();
    if (const auto target = internal->delegate()) target->rewardedVideoAdDidClose(internal);
    if (internal->completed_) internal->checkServerSideReward();
  };
  const auto presenter = videoController_->presentingViewController();
  if (!presenter || !presenter->dismiss(true, finish)) {
    // Nothing is up to dismiss (or it cannot be dismissed mid-transition):
    // the host still hears that the ad closed.
    finish();
  }
}

void OVRewardedVideoAdInternal::checkServerSideReward() {
  OVRewardedVideoAdServerReward::send(
      rewardData_, placementID_,
      [weakSelf = weak_from_this()](bool succeeded) {
        const auto internal = weakSelf.lock();
        const auto target = internal ? internal->delegate() : nullptr;
        if (!target) return;
        if (succeeded) {
          target->rewardedVideoAdServerSuccess(internal);
        } else {
          target->rewardedVideoAdServerFailed(internal);
        }
      },
      urlSession_);
}

// ---- Reports of the video controller ----

void OVRewardedVideoAdInternal::rewardedVideoAdVideoDidLoad(
    const std::shared_ptr<OVRewardedVideoAdVideoInternal>& /*controller*/) {
  makeEndCardController();
  if (const auto target = delegate()) target->rewardedVideoAdDidLoad(shared_from_this());
}

void OVRewardedVideoAdInternal::rewardedVideoAdVideo(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& /*controller*/,
                                                     const platform::Error& didFailWithError) {
  if (const auto target = delegate()) target->rewardedVideoAd(shared_from_this(), didFailWithError);
}

void OVRewardedVideoAdInternal::rewardedVideoAdVideoComplete(
    const std::shared_ptr<OVRewardedVideoAdVideoInternal>& /*controller*/) {
  if (completed_ || closing_) {
    return;
  }
  completed_ = true;
  if (const auto target = delegate()) target->rewardedVideoAdComplete(shared_from_this());
  const bool reachable = OVAdConnectionInfo::currentReachabilityStatus() != kOVAdReachabilityNotReachable;
  if (reachable && endCardController_ && shown_) {
    endCardController_->showAdFromRootViewController(videoController_, true);
    return;
  }
  close();
}

void OVRewardedVideoAdInternal::rewardedVideoAdVideoWillLogImpression(
    const std::shared_ptr<OVRewardedVideoAdVideoInternal>& /*controller*/) {
  if (const auto target = delegate()) target->rewardedVideoAdWillLogImpression(shared_from_this());
}

void OVRewardedVideoAdInternal::rewardedVideoAdVideoWillClose(
    const std::shared_ptr<OVRewardedVideoAdVideoInternal>& /*controller*/) {
  close();
}

// ---- Reports of the end card ----

void OVRewardedVideoAdInternal::rewardedVideoAdEndCardDidClick(
    const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& /*controller*/) {
  if (const auto target = delegate()) target->rewardedVideoAdDidClick(shared_from_this());
}

void OVRewardedVideoAdInternal::rewardedVideoAdEndCardWillClose(
    const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& /*controller*/) {
  close();
}

}  // namespace plexora

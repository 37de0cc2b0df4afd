#include "adapters/OVPXRewardedVideoAdAdapter.h"

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVPXBannerAdAdapter.h"
#include "adapters/OVRewardedVideoAdDataModel.h"
#include "dto/OVAdPlacementDefinition.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "util/OVAdError.h"

namespace plexora {

const char* const kOVPXRewardedVideoAdAdapterClassName = "OVPXRewardedVideoAdAdapter";

namespace {

// Known to the registry from the start, as a class linked into the process.
const auto registration =
    OVAdAdapterClassTable::registerClass<OVPXRewardedVideoAdAdapter>(kOVPXRewardedVideoAdAdapterClassName);

}  // namespace

OVPXRewardedVideoAdAdapter::OVPXRewardedVideoAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : OVDisplayAdAdapter(std::move(delegate)) {}

std::optional<std::string> OVPXRewardedVideoAdAdapter::getAdNetwork() { return std::string(kOVPXAdNetwork); }

void OVPXRewardedVideoAdAdapter::loadAdData(const platform::Dictionary& adData, OVAdSize /*size*/,
                                            std::int64_t /*orientation*/, const std::string& placement,
                                            const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                                            const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) {
  dataModel_ = OVRewardedVideoAdDataModel::initWithMetadata(platform::Value(adData));
  const std::int64_t minViewability = placementDefinition ? placementDefinition->minViewabilityPercentage() : 0;
  rewardedVideoAd_ = OVRewardedVideoAdInternal::initWithPlacementID(
      placement, dataModel_, minViewability, OVAdViewControllerProxy::viewController(), rewardData);
  rewardedVideoAd_->setDelegate(std::weak_ptr<OVRewardedVideoAdInternalDelegate>(sharedAdapter()));
  if (eventManager_) rewardedVideoAd_->setEventManager(eventManager_);
  if (urlSession_) rewardedVideoAd_->setURLSession(urlSession_);
  if (!rewardedVideoAd_->isAdValid()) {
    if (const auto target = delegate()) {
      target->adapter(shared_from_this(), OVAdError::getNSError(kOVAdErrorCodeNoFill));
    }
  }
}

bool OVPXRewardedVideoAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, true);
}

bool OVPXRewardedVideoAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool animated) {
  if (!rewardedVideoAd_) {
    return false;
  }
  return rewardedVideoAd_->startAdFromRootViewController(OVAdViewControllerProxy::proxyWithViewController(rootViewController),
                                                         animated);
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterDidLoad(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/,
                                                 const platform::Error& didFailWithError) {
  if (const auto target = delegate()) target->adapter(shared_from_this(), didFailWithError);
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdWillLogImpression(
    const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterWillLogImpression(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdDidClick(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  // The end card opened what the click asked for itself.
  if (const auto target = delegate()) target->adapterDidClick(shared_from_this(), std::nullopt, false);
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdWillClose(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterWillUnload(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterDidUnload(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterDidComplete(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdServerSuccess(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterServerRewardSuccess(shared_from_this());
}

void OVPXRewardedVideoAdAdapter::rewardedVideoAdServerFailed(const std::shared_ptr<OVRewardedVideoAdInternal>& /*ad*/) {
  if (const auto target = delegate()) target->adapterServerRewardFailed(shared_from_this());
}

}  // namespace plexora

#include "adapters/OVPXInterstitialAdAdapter.h"

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVPXBannerAdAdapter.h"
#include "internal/OVInterstitialDisplayAdInternal.h"
#include "internal/OVInterstitialVideoAdInternal.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "util/OVAdError.h"

namespace plexora {

const char* const kOVPXInterstitialAdAdapterClassName = "OVPXInterstitialAdAdapter";

namespace {

constexpr const char* kMarkupKey = "markup";
constexpr const char* kVideoKey = "video";

const auto registration =
    OVAdAdapterClassTable::registerClass<OVPXInterstitialAdAdapter>(kOVPXInterstitialAdAdapterClassName);

}  // namespace

OVPXInterstitialAdAdapter::OVPXInterstitialAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : OVDisplayAdAdapter(std::move(delegate)) {}

std::optional<std::string> OVPXInterstitialAdAdapter::getAdNetwork() { return std::string(kOVPXAdNetwork); }

void OVPXInterstitialAdAdapter::loadAdData(const platform::Dictionary& adData, OVAdSize /*size*/,
                                           std::int64_t /*orientation*/, const std::string& placement,
                                           const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                                           const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  if (adData.contains(kMarkupKey)) {
    target_ = OVInterstitialDisplayAdInternal::initWithPlacementID(placement, adData, placementDefinition);
  } else if (adData.contains(kVideoKey)) {
    target_ = OVInterstitialVideoAdInternal::initWithPlacementID(placement, adData, placementDefinition);
  }
  if (target_) target_->setDelegate(std::weak_ptr<OVInterstitialAdInternalDelegate>(sharedAdapter()));
  if (target_ && target_->isAdValid()) {
    target_->loadAd();
    return;
  }
  if (const auto target = delegate()) {
    target->adapter(shared_from_this(), OVAdError::getNSError(kOVAdErrorCodeNoFill));
  }
}

bool OVPXInterstitialAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, true);
}

bool OVPXInterstitialAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool /*animated*/) {
  return target_ &&
         target_->showAdFromRootViewController(OVAdViewControllerProxy::proxyWithViewController(rootViewController));
}

// ---- What the internal reports ----

void OVPXInterstitialAdAdapter::interstitialAdDidClick(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {
  if (const auto target = delegate()) target->adapterDidClick(shared_from_this(), std::nullopt, false);
}

void OVPXInterstitialAdAdapter::interstitialAdDidClose(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {
  if (const auto target = delegate()) target->adapterDidUnload(shared_from_this());
}

void OVPXInterstitialAdAdapter::interstitialAdWillClose(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {
  if (const auto target = delegate()) target->adapterWillUnload(shared_from_this());
}

void OVPXInterstitialAdAdapter::interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {
  if (const auto target = delegate()) target->adapterDidLoad(shared_from_this());
}

void OVPXInterstitialAdAdapter::interstitialAd(const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/,
                                               const platform::Error& error) {
  if (const auto target = delegate()) target->adapter(shared_from_this(), error);
}

void OVPXInterstitialAdAdapter::interstitialAdWillLogImpression(
    const std::shared_ptr<OVInterstitialAdInternal>& /*internal*/) {
  if (const auto target = delegate()) target->adapterWillLogImpression(shared_from_this());
}

}  // namespace plexora

#include "adapters/OVPXBannerAdAdapter.h"

#include "OVAdViewInternal.h"
#include "adapters/OVAdAdapterManagerClassTable.h"
#include "util/OVAdError.h"

namespace plexora {

const char* const kOVPXBannerAdAdapterClassName = "OVPXBannerAdAdapter";

namespace {

// Known to the registry from the start, as a class linked into the process.
const auto registration = OVAdAdapterClassTable::registerClass<OVPXBannerAdAdapter>(kOVPXBannerAdAdapterClassName);

}  // namespace

OVPXBannerAdAdapter::OVPXBannerAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : OVDisplayAdAdapter(std::move(delegate)) {}

std::optional<std::string> OVPXBannerAdAdapter::getAdNetwork() { return std::string(kOVPXAdNetwork); }

void OVPXBannerAdAdapter::loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t /*orientation*/,
                                     const std::string& /*placement*/,
                                     const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                                     const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  const auto internal = OVAdViewInternal::initWithAdData(adData, placementDefinition, size);
  setAdView(internal);
  internal->setDelegate(std::weak_ptr<OVAdViewDelegate>(sharedAdapter()));
  if (!internal->isAdValid()) {
    if (const auto target = delegate()) {
      target->adapter(shared_from_this(), OVAdError::getNSError(kOVAdErrorCodeNoFill));
    }
    return;
  }
  internal->loadAd();
}

bool OVPXBannerAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, true);
}

bool OVPXBannerAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool /*animated*/) {
  const auto internal = std::dynamic_pointer_cast<OVAdViewInternal>(adView());
  if (rootViewController && internal && rootViewController != internal->presenter()) {
    internal->setPresenter(rootViewController);
  }
  return true;
}

void OVPXBannerAdAdapter::adViewDidClick(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) {
    // The ad opened what the click asked for itself.
    target->adapterDidClick(shared_from_this(), std::nullopt, false);
  }
}

void OVPXBannerAdAdapter::adViewDidFinishHandlingClick(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) {
    target->adapterDidFinishHandlingClick(shared_from_this());
  }
}

void OVPXBannerAdAdapter::adViewDidLoad(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) {
    target->adapterDidLoad(shared_from_this());
  }
}

void OVPXBannerAdAdapter::adView(const std::shared_ptr<OVAdView>& /*adView*/, const platform::Error& error) {
  if (const auto target = delegate()) {
    target->adapter(shared_from_this(), error);
  }
}

void OVPXBannerAdAdapter::adViewWillLogImpression(const std::shared_ptr<OVAdView>& /*adView*/) {
  if (const auto target = delegate()) {
    target->adapterWillLogImpression(shared_from_this());
  }
}

}  // namespace plexora

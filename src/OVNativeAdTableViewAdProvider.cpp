#include "plexora/OVNativeAdTableViewAdProvider.h"

namespace plexora {

std::shared_ptr<OVNativeAdTableViewAdProvider> OVNativeAdTableViewAdProvider::init() {
  return initWithManager(OVNativeAdsManager::init());
}

std::shared_ptr<OVNativeAdTableViewAdProvider> OVNativeAdTableViewAdProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager) {
  checkManager(manager);
  std::shared_ptr<OVNativeAdTableViewAdProvider> provider(new OVNativeAdTableViewAdProvider(manager));
  provider->becomeManagerDelegate();
  return provider;
}

OVNativeAdTableViewAdProvider::OVNativeAdTableViewAdProvider(std::shared_ptr<OVNativeAdsManager> manager)
    : OVNativeAdListAdProvider(std::move(manager), kOVNativeAdTableViewAdjustReason) {}

std::shared_ptr<OVNativeAd> OVNativeAdTableViewAdProvider::nativeAdForRowAtIndexPath(
    platform::TableView& /*tableView*/, const platform::IndexPath& indexPath) {
  return nativeAdForIndexPath(indexPath);
}

}  // namespace plexora

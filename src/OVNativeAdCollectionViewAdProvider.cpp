#include "plexora/OVNativeAdCollectionViewAdProvider.h"

namespace plexora {

std::shared_ptr<OVNativeAdCollectionViewAdProvider> OVNativeAdCollectionViewAdProvider::init() {
  return initWithManager(OVNativeAdsManager::init());
}

std::shared_ptr<OVNativeAdCollectionViewAdProvider> OVNativeAdCollectionViewAdProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager) {
  checkManager(manager);
  std::shared_ptr<OVNativeAdCollectionViewAdProvider> provider(new OVNativeAdCollectionViewAdProvider(manager));
  provider->becomeManagerDelegate();
  return provider;
}

OVNativeAdCollectionViewAdProvider::OVNativeAdCollectionViewAdProvider(std::shared_ptr<OVNativeAdsManager> manager)
    : OVNativeAdListAdProvider(std::move(manager), kOVNativeAdCollectionViewAdjustReason) {}

std::shared_ptr<OVNativeAd> OVNativeAdCollectionViewAdProvider::nativeAdForRowAtIndexPath(
    platform::CollectionView& /*collectionView*/, const platform::IndexPath& indexPath) {
  return nativeAdForIndexPath(indexPath);
}

}  // namespace plexora

#include "plexora/OVNativeAdCollectionViewCellProvider.h"

#include <utility>

#include "OVNativeAdCellProviderHeight.h"
#include "platform/foundation/UUID.h"
#include "plexora/OVNativeAdCollectionViewCell.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVNativeAdCollectionViewCellProvider";

}  // namespace

std::shared_ptr<OVNativeAdCollectionViewCellProvider> OVNativeAdCollectionViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager) {
  return initWithManager(manager, kOVNativeAdViewTypeGenericHeight300);
}

std::shared_ptr<OVNativeAdCollectionViewCellProvider> OVNativeAdCollectionViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type) {
  return initWithManager(manager, type, OVNativeAdViewAttributes::defaultAttributesForType(type));
}

std::shared_ptr<OVNativeAdCollectionViewCellProvider> OVNativeAdCollectionViewCellProvider::initWithManager(
    const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
    const std::shared_ptr<OVNativeAdViewAttributes>& attributes) {
  checkManager(manager);
  std::shared_ptr<OVNativeAdCollectionViewCellProvider> provider(
      new OVNativeAdCollectionViewCellProvider(manager, type, attributes));
  provider->becomeManagerDelegate();
  return provider;
}

OVNativeAdCollectionViewCellProvider::OVNativeAdCollectionViewCellProvider(
    std::shared_ptr<OVNativeAdsManager> manager, OVNativeAdViewTemplateType type,
    std::shared_ptr<OVNativeAdViewAttributes> attributes)
    : OVNativeAdCollectionViewAdProvider(std::move(manager)), type_(type), attributes_(std::move(attributes)) {}

std::size_t OVNativeAdCollectionViewCellProvider::numberOfRowsInSection(platform::CollectionView& /*collectionView*/,
                                                                        std::size_t /*section*/) const {
  return manager()->uniqueNativeAdCount();
}

std::shared_ptr<platform::CollectionViewCell> OVNativeAdCollectionViewCellProvider::cellForItemAtIndexPath(
    platform::CollectionView& collectionView, const platform::IndexPath& indexPath) {
  if (!uniqueCollectionCellIdentifier_) {
    uniqueCollectionCellIdentifier_ = platform::makeUUIDString();
    collectionView.registerClass(OVNativeAdCollectionViewCell::specializeCellForType(type_, attributes_),
                                 *uniqueCollectionCellIdentifier_);
  }
  auto cell = collectionView.dequeueReusableCellWithReuseIdentifier(*uniqueCollectionCellIdentifier_, indexPath);
  if (const auto adCell = std::dynamic_pointer_cast<OVNativeAdCollectionViewCell>(cell)) {
    adCell->populate(nativeAdForRowAtIndexPath(collectionView, indexPath));
  }
  return cell;
}

double OVNativeAdCollectionViewCellProvider::heightForRowAtIndexPath(
    platform::CollectionView& /*collectionView*/, const platform::IndexPath& /*indexPath*/) const {
  return OVNativeAdCellProviderHeight(type_, kClassName);
}

}  // namespace plexora

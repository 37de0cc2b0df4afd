// Ready native ad cells for a collection view: one item per ad of the
// manager's set, each showing its ad in a library template of the
// provider's type and style and registered with the ad for impressions and
// clicks. Items keep their ads as OVNativeAdCollectionViewAdProvider places
// them. The application's data source hands its questions on:
//
//   items:  provider->numberOfRowsInSection(view, section)
//   a cell: provider->cellForItemAtIndexPath(view, indexPath)
//   a size: {width, provider->heightForRowAtIndexPath(view, indexPath)}
//
// Thread safety: main thread only.
// Ownership: as OVNativeAdCollectionViewAdProvider; the provider also holds
// its attributes. The collection views it serves own the cells.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/ui/CollectionView.h"
#include "plexora/OVNativeAdCollectionViewAdProvider.h"
#include "plexora/OVNativeAdView.h"
#include "plexora/OVNativeAdViewAttributes.h"

namespace plexora {

class PLEXORA_EXPORT OVNativeAdCollectionViewCellProvider final : public OVNativeAdCollectionViewAdProvider {
 public:
  // Type 3 (kOVNativeAdViewTypeGenericHeight300) in its default style.
  static std::shared_ptr<OVNativeAdCollectionViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager);
  // In the type's default style.
  static std::shared_ptr<OVNativeAdCollectionViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type);
  // Each throws platform::Exception (kInvalidArgumentException,
  // kOVNativeAdProviderInvalidManagerReason) unless the manager has
  // delivered a set.
  static std::shared_ptr<OVNativeAdCollectionViewCellProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager, OVNativeAdViewTemplateType type,
      const std::shared_ptr<OVNativeAdViewAttributes>& attributes);

  // The number of ads in the manager's set, whatever the section.
  std::size_t numberOfRowsInSection(platform::CollectionView& collectionView, std::size_t section) const;
  // At the first call registers the cell class of the provider's type and
  // style with the collection view under a new reuse identifier; then
  // dequeues a cell and populates it with the position's ad.
  std::shared_ptr<platform::CollectionViewCell> cellForItemAtIndexPath(platform::CollectionView& collectionView,
                                                                       const platform::IndexPath& indexPath);
  // The template's height: type 1 100, 2 120, 3 300, 4 400, and 250 for
  // kOVNativeAdViewTypeNone. Any other type throws platform::Exception
  // (kInternalInconsistencyException, kOVNativeAdCellProviderNotImplementedReason).
  double heightForRowAtIndexPath(platform::CollectionView& collectionView, const platform::IndexPath& indexPath) const;

  // The reuse identifier of the cells; none before the first cell.
  const std::optional<std::string>& collectionCellIdentifier() const { return uniqueCollectionCellIdentifier_; }
  OVNativeAdViewTemplateType type() const { return type_; }
  const std::shared_ptr<OVNativeAdViewAttributes>& attributes() const { return attributes_; }

 private:
  OVNativeAdCollectionViewCellProvider(std::shared_ptr<OVNativeAdsManager> manager, OVNativeAdViewTemplateType type,
                                       std::shared_ptr<OVNativeAdViewAttributes> attributes);

  OVNativeAdViewTemplateType type_;
  std::shared_ptr<OVNativeAdViewAttributes> attributes_;
  std::optional<std::string> uniqueCollectionCellIdentifier_;
};

}  // namespace plexora

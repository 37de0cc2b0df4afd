// Places the ads of a native ads manager into an application's collection
// view at a fixed stride and keeps each position's ad until the manager
// delivers a new set. The application keeps its own data source and asks
// the provider about each item (its row in the index path):
//
//   auto provider = OVNativeAdCollectionViewAdProvider::initWithManager(manager);  // once it loaded
//   // items: OVNativeAdListAdProvider::adjustCount(content.size(), 5)
//   // an item: if (OVNativeAdListAdProvider::isAdCellAtIndexPath(path, 5))
//   //            show provider->nativeAdForRowAtIndexPath(collection, path);
//   //          else show content[provider->adjustNonAdCellIndexPath(path, 5).row];
//
// Thread safety: main thread only.
// Ownership: see OVNativeAdListAdProvider.h.
#pragma once

#include <memory>

#include "platform/Export.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/IndexPath.h"
#include "plexora/OVNativeAdListAdProvider.h"

namespace plexora {

inline constexpr const char* kOVNativeAdCollectionViewAdjustReason =
    "collectionView:adjustIndexPath:forAdStride: can only be called for non-ad cells";

class PLEXORA_EXPORT OVNativeAdCollectionViewAdProvider : public OVNativeAdListAdProvider {
 public:
  // A new manager, which has never delivered: always throws.
  static std::shared_ptr<OVNativeAdCollectionViewAdProvider> init();
  // Throws platform::Exception (kInvalidArgumentException,
  // kOVNativeAdProviderInvalidManagerReason) unless the manager has
  // delivered a set (isValid).
  static std::shared_ptr<OVNativeAdCollectionViewAdProvider> initWithManager(
      const std::shared_ptr<OVNativeAdsManager>& manager);

  // The ad of the position: the same ad object each time until the manager
  // delivers a new set. The provider becomes the ad's delegate.
  std::shared_ptr<OVNativeAd> nativeAdForRowAtIndexPath(platform::CollectionView& collectionView,
                                                        const platform::IndexPath& indexPath);

 protected:
  explicit OVNativeAdCollectionViewAdProvider(std::shared_ptr<OVNativeAdsManager> manager);
};

}  // namespace plexora

// What the table and collection view ad providers share: the ads of a
// native ads manager placed into the rows of a list at a fixed stride, each
// position keeping its ad until the manager delivers a new set.
//
// With a stride of 5 the rows 4, 9, 14, ... are ads; the other rows show
// the application's own content, whose index adjustNonAdCellIndexPath
// gives, and adjustCount says how many rows a list of content grows to.
//
// Thread safety: main thread only, like the manager and its ads.
// Ownership: the provider owns its manager and the ads it placed, becomes
// the manager's delegate (the application's delegate of that manager no
// longer hears from it) and each placed ad's, and holds its own delegate
// weakly.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/ui/IndexPath.h"
#include "plexora/OVNativeAd.h"
#include "plexora/OVNativeAdsManager.h"

namespace plexora {

inline constexpr const char* kOVNativeAdProviderInvalidManagerReason = "native ads manager must be valid";
// A cell provider asked for the height of a type it has none for: class
// name and operation name.
inline constexpr const char* kOVNativeAdCellProviderNotImplementedReason = "[%s %s:] not implemented.";

class PLEXORA_EXPORT OVNativeAdListAdProvider : public OVNativeAdDelegate,
                                                public OVNativeAdsManagerDelegate,
                                                public std::enable_shared_from_this<OVNativeAdListAdProvider> {
 public:
  using IndexPathToAdMap = std::map<platform::IndexPath, std::shared_ptr<OVNativeAd>>;

  ~OVNativeAdListAdProvider() override;
  OVNativeAdListAdProvider(const OVNativeAdListAdProvider&) = delete;
  OVNativeAdListAdProvider& operator=(const OVNativeAdListAdProvider&) = delete;

  // ---- Index arithmetic, made for strides of at least 2 ----

  // Whether (row + 1) is a multiple of the stride. Stride 0 places no ads:
  // false. Stride 1 makes every row an ad: true.
  static bool isAdCellAtIndexPath(const platform::IndexPath& indexPath, std::uint64_t stride);
  // The position in the application's own content that a row which is not
  // an ad shows: row - row / stride in the same section. Stride 0 places no
  // ads: the index path itself. Throws platform::Exception
  // (kInvalidArgumentException) for an ad position, which with stride 1 is
  // every row.
  platform::IndexPath adjustNonAdCellIndexPath(const platform::IndexPath& indexPath, std::uint64_t stride) const;
  // The number of rows once ads are mixed into `count` rows of content:
  // count + (count - 1) / (stride - 1). A count of 0 gives 0. Strides 0
  // and 1 give `count`: stride 0 places no ads, and with stride 1 every row
  // is an ad, so no number of rows ever reaches the content. A sum past the
  // largest count gives the largest count.
  static std::uint64_t adjustCount(std::uint64_t count, std::uint64_t stride);

  // ---- OVNativeAdsManagerDelegate ----

  // The positions receive ads of the new set from now on.
  void nativeAdsLoaded() override;
  void nativeAdsFailedToLoadWithError(const platform::Error& /*error*/) override {}

  // ---- OVNativeAdDelegate: the placed ads' clicks and impressions are
  // passed on to the delegate; their other messages are not. ----

  void nativeAdDidClick(const std::shared_ptr<OVNativeAd>& nativeAd) override;
  void nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>& nativeAd) override;
  void nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>& nativeAd) override;

  std::shared_ptr<OVNativeAdDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVNativeAdDelegate> delegate) {
    platform::requireMainThread("OVNativeAdListAdProvider::setDelegate");
    delegate_ = std::move(delegate);
  }
  const std::shared_ptr<OVNativeAdsManager>& manager() const { return manager_; }
  // The ad placed at each position since the manager's last delivery.
  const IndexPathToAdMap& currentIndexPathToAdMap() const { return currentIndexPathToAdMap_; }

 protected:
  // `adjustReason`: the reason adjustNonAdCellIndexPath gives for an ad
  // position, which names the kind of list.
  OVNativeAdListAdProvider(std::shared_ptr<OVNativeAdsManager> manager, const char* adjustReason);

  // Throws platform::Exception (kInvalidArgumentException,
  // kOVNativeAdProviderInvalidManagerReason) unless the manager has
  // delivered a set.
  static void checkManager(const std::shared_ptr<OVNativeAdsManager>& manager);
  // The second step of making a provider, once it is shared.
  void becomeManagerDelegate();
  // The position's ad: the one placed there before, else the manager's
  // next, which stays there. The provider becomes its delegate.
  std::shared_ptr<OVNativeAd> nativeAdForIndexPath(const platform::IndexPath& indexPath);

 private:
  std::weak_ptr<OVNativeAdDelegate> delegate_;
  std::shared_ptr<OVNativeAdsManager> manager_;
  IndexPathToAdMap currentIndexPathToAdMap_;
  const char* adjustReason_;
};

}  // namespace plexora

// Several native ads of one placement from a single request, handed out one
// after the other for feeds and lists. The manager makes one native ad per
// candidate of the answer, gathers those that load, waits for their images
// as its media cache policy says, tells its delegate, and replaces the
// whole set on a timer (1800 seconds unless the server says otherwise).
//
//   auto manager = OVNativeAdsManager::initWithPlacementID("123_456", 5);
//   manager->setDelegate(myDelegate);
//   manager->loadAds();
//   // in nativeAdsLoaded: auto ad = manager->nextNativeAd();
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, initWithPlacementID, loadAds, nextNativeAd,
// disableAutoRefresh and setDelegate from another thread end the process at
// once, naming the call.
// Ownership: the host owns the manager; the manager owns the ads of the set
// being loaded and of the delivered set, its request and its refresh timer,
// and holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Error.h"
#include "plexora/OVNativeAd.h"

namespace plexora {

class OVAdProvider;
class OVAdProviderResponseAds;
class OVAdTimer;
class OVNativeAdsManagerEvents;

inline constexpr std::int64_t kOVNativeAdsManagerDefaultRefreshInterval = 1800;

// Both messages are always sent.
class PLEXORA_EXPORT OVNativeAdsManagerDelegate {
 public:
  virtual ~OVNativeAdsManagerDelegate() = default;
  // A new set of ads is ready to be handed out.
  virtual void nativeAdsLoaded() = 0;
  // No set could be loaded; a set delivered before stays.
  virtual void nativeAdsFailedToLoadWithError(const platform::Error& error) = 0;
};

class PLEXORA_EXPORT OVNativeAdsManager final : public std::enable_shared_from_this<OVNativeAdsManager> {
 public:
  // The empty placement, no ads asked for.
  static std::shared_ptr<OVNativeAdsManager> init();
  // None without a placement.
  static std::shared_ptr<OVNativeAdsManager> initWithPlacementID(const std::optional<std::string>& placementID,
                                                                 std::uint64_t numAdsRequested);
  ~OVNativeAdsManager();
  OVNativeAdsManager(const OVNativeAdsManager&) = delete;
  OVNativeAdsManager& operator=(const OVNativeAdsManager&) = delete;

  // Requests a new set; the set delivered before stays until the new one is
  // complete.
  void loadAds();
  // No refresh from now on.
  void disableAutoRefresh();
  // The number of ads in the delivered set.
  std::uint64_t uniqueNativeAdCount() const { return currentNativeAds_.size(); }
  // The next ad of the delivered set, round and round: each ad itself on
  // the first pass, a copy of it afterwards, so no ad object is handed out
  // twice. None before a set was delivered.
  std::shared_ptr<OVNativeAd> nextNativeAd();

  std::shared_ptr<OVNativeAdsManagerDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVNativeAdsManagerDelegate> delegate) {
    platform::requireMainThread("OVNativeAdsManager::setDelegate");
    delegate_ = std::move(delegate);
  }
  // Bit kOVNativeAdMediaCachePolicyImage waits for the cover images, bit
  // kOVNativeAdMediaCachePolicyIcon for the icons; other bits change nothing.
  OVNativeAdMediaCachePolicy mediaCachePolicy() const { return mediaCachePolicy_; }
  void setMediaCachePolicy(OVNativeAdMediaCachePolicy policy) { mediaCachePolicy_ = policy; }
  // Once a set was delivered; never cleared afterwards.
  bool isValid() const { return valid_; }
  const std::string& placementID() const { return placementID_; }
  std::uint64_t numAdsRequested() const { return numAdsRequested_; }
  // Seconds; -1 while refresh is disabled.
  std::int64_t refreshInterval() const { return refreshDisabled_ ? -1 : refreshInterval_; }
  bool isRefreshDisabled() const { return refreshDisabled_; }
  // Moves on with every answer that brings ads.
  std::uint64_t version() const { return version_; }
  const std::vector<std::shared_ptr<OVNativeAd>>& currentNativeAds() const { return currentNativeAds_; }

 private:
  friend class OVNativeAdsManagerEvents;

  OVNativeAdsManager(std::string placementID, std::uint64_t numAdsRequested);

  void cancel();
  void startObservingApplicationState();
  void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response);
  void onAdRequestError(const platform::Error& error);
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& nativeAd);
  void nativeAdDidFail(const std::shared_ptr<OVNativeAd>& nativeAd);
  bool isInLoadingSet(const std::shared_ptr<OVNativeAd>& nativeAd) const;
  void adsAllLoaded();
  void deliver(const std::vector<std::shared_ptr<OVNativeAd>>& loaded,
               const std::vector<std::shared_ptr<OVAdImage>>& awaited);
  void updateRefreshInterval(std::int64_t seconds);
  void scheduleRefresh();
  void invalidateRefresh();

  std::weak_ptr<OVNativeAdsManagerDelegate> delegate_;
  std::shared_ptr<OVNativeAdsManagerEvents> events_;
  OVNativeAdMediaCachePolicy mediaCachePolicy_ = kOVNativeAdMediaCachePolicyNone;
  bool valid_ = false;
  std::string placementID_;
  std::shared_ptr<OVAdProvider> adProvider_;
  std::int64_t refreshInterval_ = kOVNativeAdsManagerDefaultRefreshInterval;
  bool refreshDisabled_ = false;
  std::shared_ptr<OVAdTimer> refreshTimer_;
  bool observingNotifications_ = false;
  std::uint64_t version_ = 0;
  std::vector<std::shared_ptr<OVNativeAd>> nativeAds_;
  std::vector<std::shared_ptr<OVNativeAd>> nativeAdsLoaded_;
  std::uint64_t numAdsRequested_ = 0;
  std::int64_t nativeAdsFailedCount_ = 0;
  std::vector<std::shared_ptr<OVNativeAd>> currentNativeAds_;
  // The position of the ad handed out last; all bits set before the first.
  std::uint64_t currentNativeAdPos_ = UINT64_MAX;
};

}  // namespace plexora

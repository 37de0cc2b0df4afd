#include "plexora/OVNativeAdsManager.h"

#include <algorithm>

#include "dto/OVAdPlacement.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVAdSize.h"
#include "server/OVAdEnvironmentData.h"
#include "server/OVAdProvider.h"
#include "server/OVAdProviderResponse.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdError.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

// The manager's side of its request and of its ads: kept apart from the
// public class so the host's header knows nothing of the provider. Holds
// the manager weakly.
class OVNativeAdsManagerEvents final : public OVAdProviderDelegate, public OVNativeAdDelegate {
 public:
  explicit OVNativeAdsManagerEvents(std::weak_ptr<OVNativeAdsManager> manager) : manager_(std::move(manager)) {}

  void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) override {
    if (const auto manager = manager_.lock()) manager->onAdRequestSuccess(response);
  }
  void onAdRequestError(const platform::Error& error) override {
    if (const auto manager = manager_.lock()) manager->onAdRequestError(error);
  }
  void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& nativeAd) override {
    if (const auto manager = manager_.lock()) manager->nativeAdDidLoad(nativeAd);
  }
  void nativeAd(const std::shared_ptr<OVNativeAd>& nativeAd, const platform::Error& /*error*/) override {
    if (const auto manager = manager_.lock()) manager->nativeAdDidFail(nativeAd);
  }

 private:
  std::weak_ptr<OVNativeAdsManager> manager_;
};

namespace {

bool hasPolicy(OVNativeAdMediaCachePolicy policy, OVNativeAdMediaCachePolicy bit) { return (policy & bit) != 0; }

bool isImageIn(const std::shared_ptr<OVAdImage>& image) {
  return image && image->url() && OVAdCache::sharedCache()->imageForURL(*image->url()) != nullptr;
}

}  // namespace

std::shared_ptr<OVNativeAdsManager> OVNativeAdsManager::init() { return initWithPlacementID(std::string(), 0); }

std::shared_ptr<OVNativeAdsManager> OVNativeAdsManager::initWithPlacementID(
    const std::optional<std::string>& placementID, std::uint64_t numAdsRequested) {
  platform::requireMainThread("OVNativeAdsManager::initWithPlacementID");
  if (!placementID) return nullptr;
  std::shared_ptr<OVNativeAdsManager> manager(new OVNativeAdsManager(*placementID, numAdsRequested));
  manager->events_ = std::make_shared<OVNativeAdsManagerEvents>(manager);
  return manager;
}

OVNativeAdsManager::OVNativeAdsManager(std::string placementID, std::uint64_t numAdsRequested)
    : placementID_(std::move(placementID)), numAdsRequested_(numAdsRequested) {}

OVNativeAdsManager::~OVNativeAdsManager() {
  OVAdUtility::stopObservingBackgroundNotifications(this);
  cancel();
}

// ---- Loading ----

void OVNativeAdsManager::loadAds() {
  platform::requireMainThread("OVNativeAdsManager::loadAds");
  cancel();
  startObservingApplicationState();
  if (numAdsRequested_ == 0) {
    adsAllLoaded();
    return;
  }
  auto environment =
      std::make_shared<OVAdEnvironmentData>(placementID_, kOVAdPlacementTypeNative,
                                            OVAdUtility::getTemplateID(kOVAdSizeNative), kOVAdSizeNative,
                                            numAdsRequested_);
  adProvider_ = OVAdProvider::initWithDelegate(events_);
  adProvider_->loadAdWithEnvironmentData(std::move(environment));
}

void OVNativeAdsManager::cancel() {
  invalidateRefresh();
  if (adProvider_) adProvider_->cancel();
  adProvider_.reset();
  nativeAds_.clear();
  nativeAdsLoaded_.clear();
  nativeAdsFailedCount_ = 0;
}

void OVNativeAdsManager::startObservingApplicationState() {
  if (observingNotifications_) return;
  observingNotifications_ = true;
  const std::weak_ptr<OVNativeAdsManager> weakSelf = shared_from_this();
  OVAdUtility::startObservingBackgroundNotifications(
      shared_from_this(),
      [weakSelf] {
        if (const auto self = weakSelf.lock()) self->invalidateRefresh();
      },
      [weakSelf] {
        if (const auto self = weakSelf.lock()) self->scheduleRefresh();
      });
}

void OVNativeAdsManager::onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) {
  ++version_;
  std::vector<std::shared_ptr<OVNativeAd>> ads;
  const auto& placement = response->adPlacement();
  const std::size_t count = placement ? placement->adCandidates().size() : 0;
  for (std::size_t index = 0; index < count; ++index) {
    auto provider = OVAdProviderWithResponse::initWithResponse(*response, static_cast<std::int64_t>(index));
    if (!provider) continue;
    auto ad = OVNativeAd::initWithPlacementID(placementID_, std::move(provider));
    ad->setDelegate(events_);
    ads.push_back(std::move(ad));
  }
  updateRefreshInterval(placement && placement->definition() ? placement->definition()->refreshInterval() : 0);
  adProvider_.reset();
  nativeAds_ = ads;
  nativeAdsLoaded_.clear();
  nativeAdsFailedCount_ = 0;
  for (const auto& ad : ads) ad->loadAd();
  if (ads.empty()) onAdRequestError(OVAdError::getNSError(kOVAdErrorCodeNoFill));
}

void OVNativeAdsManager::onAdRequestError(const platform::Error& error) {
  adProvider_.reset();
  if (const auto target = delegate()) target->nativeAdsFailedToLoadWithError(error);
  scheduleRefresh();
}

// ---- Counting ----

bool OVNativeAdsManager::isInLoadingSet(const std::shared_ptr<OVNativeAd>& nativeAd) const {
  // Ads of a load that was cancelled may still report; they no longer count.
  return std::find(nativeAds_.begin(), nativeAds_.end(), nativeAd) != nativeAds_.end();
}

void OVNativeAdsManager::nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (!isInLoadingSet(nativeAd)) return;
  if (std::find(nativeAdsLoaded_.begin(), nativeAdsLoaded_.end(), nativeAd) == nativeAdsLoaded_.end()) {
    nativeAdsLoaded_.push_back(nativeAd);
  }
  const std::size_t reported = nativeAdsLoaded_.size() + static_cast<std::size_t>(nativeAdsFailedCount_);
  if (nativeAdsLoaded_.size() == numAdsRequested_ || reported == nativeAds_.size()) adsAllLoaded();
}

void OVNativeAdsManager::nativeAdDidFail(const std::shared_ptr<OVNativeAd>& nativeAd) {
  if (!isInLoadingSet(nativeAd)) return;
  ++nativeAdsFailedCount_;
  const std::size_t reported = nativeAdsLoaded_.size() + static_cast<std::size_t>(nativeAdsFailedCount_);
  if (reported == nativeAds_.size()) adsAllLoaded();
}

// ---- Completion ----

void OVNativeAdsManager::adsAllLoaded() {
  if (nativeAdsLoaded_.empty()) {
    nativeAds_.clear();
    nativeAdsLoaded_.clear();
    if (const auto target = delegate()) target->nativeAdsFailedToLoadWithError(OVAdError::getNSError(kOVAdErrorCodeNoFill));
    scheduleRefresh();
    return;
  }
  std::vector<std::shared_ptr<OVNativeAd>> loaded;
  for (const auto& ad : nativeAds_) {
    if (std::find(nativeAdsLoaded_.begin(), nativeAdsLoaded_.end(), ad) != nativeAdsLoaded_.end()) {
      loaded.push_back(ad);
    }
    // Late reports no longer count.
    ad->setDelegate({});
  }
  std::vector<std::shared_ptr<OVAdImage>> awaited;
  const auto wait = [&awaited](const std::shared_ptr<OVAdImage>& image, bool required) {
    if (!image) return;
    if (required) {
      awaited.push_back(image);
    } else {
      image->preloadImageAsync();
    }
  };
  for (const auto& ad : loaded) {
    wait(ad->coverImage(), hasPolicy(mediaCachePolicy_, kOVNativeAdMediaCachePolicyImage));
    wait(ad->icon(), hasPolicy(mediaCachePolicy_, kOVNativeAdMediaCachePolicyIcon));
  }
  const std::weak_ptr<OVNativeAdsManager> weakSelf = shared_from_this();
  OVAdImage::loadImagesAsync(awaited, [weakSelf, version = version_, loaded, awaited](
                                          const OVAdImage::ImagesByRole&, const OVAdImage::ImagesByURL&) {
    const auto self = weakSelf.lock();
    // A completion of an older answer changes nothing.
    if (!self || self->version_ != version) return;
    self->deliver(loaded, awaited);
  });
  scheduleRefresh();
}

void OVNativeAdsManager::deliver(const std::vector<std::shared_ptr<OVNativeAd>>& loaded,
                                 const std::vector<std::shared_ptr<OVAdImage>>& awaited) {
  // An ad whose awaited image did not arrive is not delivered: the set holds
  // only ads whose media the policy names are in.
  std::vector<std::shared_ptr<OVNativeAd>> complete;
  for (const auto& ad : loaded) {
    const bool missing = std::any_of(awaited.begin(), awaited.end(), [&ad](const std::shared_ptr<OVAdImage>& image) {
      return (image == ad->coverImage() || image == ad->icon()) && !isImageIn(image);
    });
    if (!missing) complete.push_back(ad);
  }
  nativeAds_.clear();
  nativeAdsLoaded_.clear();
  if (complete.empty()) {
    if (const auto target = delegate()) target->nativeAdsFailedToLoadWithError(OVAdError::getNSError(kOVAdErrorCodeNoFill));
    return;
  }
  currentNativeAds_ = std::move(complete);
  currentNativeAdPos_ = UINT64_MAX;
  valid_ = true;
  if (const auto target = delegate()) target->nativeAdsLoaded();
}

// ---- Refresh ----

void OVNativeAdsManager::disableAutoRefresh() {
  platform::requireMainThread("OVNativeAdsManager::disableAutoRefresh");
  refreshDisabled_ = true;
  invalidateRefresh();
}

void OVNativeAdsManager::updateRefreshInterval(std::int64_t seconds) {
  refreshInterval_ = seconds == 0 ? kOVNativeAdsManagerDefaultRefreshInterval : seconds;
}

void OVNativeAdsManager::scheduleRefresh() {
  const std::int64_t interval = refreshInterval();
  if (interval <= 0) return;
  const std::weak_ptr<OVNativeAdsManager> weakSelf = shared_from_this();
  // The timer stored before is released, which stops it.
  refreshTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(static_cast<double>(interval), false,
                                                            [weakSelf](const std::shared_ptr<OVAdTimer>&) {
                                                              if (const auto self = weakSelf.lock()) self->loadAds();
                                                            });
}

void OVNativeAdsManager::invalidateRefresh() {
  if (refreshTimer_) refreshTimer_->invalidate();
  refreshTimer_.reset();
}

// ---- Handing out ----

std::shared_ptr<OVNativeAd> OVNativeAdsManager::nextNativeAd() {
  platform::requireMainThread("OVNativeAdsManager::nextNativeAd");
  if (currentNativeAds_.empty()) return nullptr;
  ++currentNativeAdPos_;
  const std::uint64_t size = currentNativeAds_.size();
  const auto& ad = currentNativeAds_[currentNativeAdPos_ % size];
  return currentNativeAdPos_ < size ? ad : ad->copy();
}

}  // namespace plexora

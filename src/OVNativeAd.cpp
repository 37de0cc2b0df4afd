// The native ad's creation, load, media and assets. Registration, the
// impression and clicks: OVNativeAdRegistration.cpp; logging data:
// OVNativeAdLogging.cpp.
#include "plexora/OVNativeAd.h"

#include <utility>

#include "OVNativeAdBody.h"
#include "OVNativeAdEvents.h"
#include "adapters/OVNativeAdDataModel.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVAdSize.h"
#include "server/OVAdEnvironmentData.h"
#include "tracking/OVAdClientEventManager.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConcurrentArray.h"
#include "util/OVAdError.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kLatencyEventName = "latency";
constexpr const char* kLatencyTypeKey = "latency_type";
constexpr const char* kLatencyTypeLoadingAd = "loading ad";
constexpr const char* kAdTypeKey = "ad_type";
constexpr const char* kAdTypeNative = "native";
constexpr const char* kTimeKey = "time";

constexpr const char* kMissingMediaDescription = "Native ad media failed to load";

// The impression-miss reason of an ad released without an impression.
constexpr std::int64_t kReleasedMissReason = 1;

// Native ads whose load is outstanding, kept alive until it ends.
OVAdConcurrentArray<std::shared_ptr<OVNativeAd>>& requests() {
  static auto* outstanding = new OVAdConcurrentArray<std::shared_ptr<OVNativeAd>>();
  return *outstanding;
}

bool hasPolicy(OVNativeAdMediaCachePolicy policy, OVNativeAdMediaCachePolicy bit) { return (policy & bit) != 0; }

// Whether the resource cache holds the image now.
bool isImageIn(const std::shared_ptr<OVAdImage>& image) {
  return image->url() && OVAdCache::sharedCache()->imageForURL(*image->url()) != nullptr;
}

}  // namespace

// ---- Creation ----

OVNativeAd::OVNativeAd() = default;

OVNativeAd::~OVNativeAd() = default;

// Every ad is released through retire() while it is still whole, so the
// impression miss it logs on the way reads an intact ad.
struct OVNativeAd::Retirement {
  void operator()(OVNativeAd* ad) const {
    ad->retire();
    delete ad;
  }
};

std::shared_ptr<OVNativeAd> OVNativeAd::make() {
  std::shared_ptr<OVNativeAd> ad(new OVNativeAd(), Retirement());
  ad->events_ = std::make_shared<OVNativeAdEvents>(ad);
  return ad;
}

std::shared_ptr<OVNativeAd> OVNativeAd::init() { return initWithPlacementID(std::string()); }

std::shared_ptr<OVNativeAd> OVNativeAd::initWithPlacementID(const std::optional<std::string>& placementID) {
  platform::requireMainThread("OVNativeAd::initWithPlacementID");
  OVAdUtility::initializePlexora();
  auto ad = make();
  ad->placementID_ = placementID.value_or(std::string());
  return ad;
}

std::shared_ptr<OVNativeAd> OVNativeAd::initWithPlacementID(const std::optional<std::string>& placementID,
                                                            std::shared_ptr<OVAdProvider> adProvider) {
  auto ad = initWithPlacementID(placementID);
  ad->adProvider_ = std::move(adProvider);
  return ad;
}

std::shared_ptr<OVNativeAd> OVNativeAd::fakeNativeAd() {
  static const auto* placeholder = [] {
    auto ad = make();
    ad->bypassValidation_ = true;
    return new std::shared_ptr<OVNativeAd>(std::move(ad));
  }();
  return *placeholder;
}

std::shared_ptr<OVNativeAd> OVNativeAd::copy() const {
  auto copied = init();
  copied->populateFromDataModel(dataModel_, placementDefinition_, onImpression_, onImpressionMiss_, onClick_);
  return copied;
}

void OVNativeAd::retire() {
  logImpressionMissWithReason(kReleasedMissReason);
  unregisterViewInternal();
}

std::size_t OVNativeAd::outstandingRequestCount() { return requests().count(); }

// ---- Loading ----

void OVNativeAd::loadAd() {
  platform::requireMainThread("OVNativeAd::loadAd");
  doLoadAd(std::nullopt);
}

void OVNativeAd::doLoadAd(const std::optional<std::string>& bidPayload) {
  platform::requireMainThread("OVNativeAd::doLoadAd");
  if (hasCalledLoadAd_) {
    OVAdUtility::throwExceptionWithName(kOVNativeAdInvalidOperationException, kOVNativeAdLoadOnceReason);
  }
  hasCalledLoadAd_ = true;
  requests().addObject(shared_from_this());
  loadAdStartTime_ = platform::Clock::current()->wallTime();
  adController_ = OVDisplayAdController::create();
  adController_->setDelegate(events_);
  adController_->loadAdWithPlacementId(placementID_, kOVAdPlacementTypeNative,
                                       OVAdUtility::getTemplateID(kOVAdSizeNative), kOVAdSizeInterstitial,
                                       adProvider_, nullptr, bidPayload);
  // A native ad never refreshes itself.
  adController_->disableAutoRefresh();
}

void OVNativeAd::populateFromDataModel(const std::shared_ptr<OVNativeAdDataModel>& dataModel,
                                       const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                                       ImpressionHandler onImpression, ImpressionHandler onImpressionMiss,
                                       ClickHandler onClick) {
  hasCalledLoadAd_ = true;
  placementDefinition_ = placementDefinition;
  dataModel_ = dataModel;
  adChoicesIcon_ = dataModel ? dataModel->adChoicesIcon() : nullptr;
  adChoicesLinkURL_ = dataModel ? dataModel->adChoicesLinkURL() : std::nullopt;
  adChoicesText_ = dataModel ? std::optional<std::string>(dataModel->adChoicesText()) : std::nullopt;
  adViewAttributes_ = dataModel ? dataModel->adViewAttributes() : nullptr;
  onImpression_ = std::move(onImpression);
  onImpressionMiss_ = std::move(onImpressionMiss);
  onClick_ = std::move(onClick);
}

void OVNativeAd::displayAdControllerLoaded() {
  // The controller answers with the data (displayAdControllerPresentedData).
  adController_->startAdFromRootViewController(viewController_);
}

void OVNativeAd::displayAdControllerPresentedData(const std::shared_ptr<OVNativeAdDataModel>& dataModel,
                                                  ImpressionHandler onImpression, ImpressionHandler onImpressionMiss,
                                                  ClickHandler onClick) {
  sendLatencyEvent();
  populateFromDataModel(dataModel, adController_ ? adController_->placementDefinition() : nullptr,
                        std::move(onImpression), std::move(onImpressionMiss), std::move(onClick));
  loadMedia();
}

void OVNativeAd::sendLatencyEvent() const {
  const double seconds = platform::Clock::current()->wallTime() - loadAdStartTime_;
  OVAdClientEventManager::addClientEvent(OVAdClientEventManager::createEventName(
      std::string(kLatencyEventName), platform::Dictionary{{kAdTypeKey, kAdTypeNative},
                                                           {kLatencyTypeKey, kLatencyTypeLoadingAd},
                                                           {kTimeKey, platform::Value(seconds).text().value_or("0")}}));
}

void OVNativeAd::loadMedia() {
  std::vector<std::shared_ptr<OVAdImage>> awaited;
  const auto wait = [&awaited](const std::shared_ptr<OVAdImage>& image, bool required) {
    if (!image) return;
    if (required) {
      awaited.push_back(image);
    } else {
      image->preloadImageAsync();
    }
  };
  const bool waitForImages = hasPolicy(mediaCachePolicy_, kOVNativeAdMediaCachePolicyImage);
  wait(coverImage(), waitForImages);
  for (const auto& card : multiProductAdContent()) wait(card->image(), waitForImages);
  wait(icon(), hasPolicy(mediaCachePolicy_, kOVNativeAdMediaCachePolicyIcon));
  std::optional<platform::URL> awaitedVideo;
  if (hasPolicy(mediaCachePolicy_, kOVNativeAdMediaCachePolicyVideo)) awaitedVideo = videoURL();

  const std::weak_ptr<OVNativeAd> weakSelf = shared_from_this();
  OVAdImage::loadImagesAsync(awaited, [weakSelf, awaited, awaitedVideo](const OVAdImage::ImagesByRole&,
                                                                       const OVAdImage::ImagesByURL&) {
    if (!awaitedVideo) {
      // Nothing to fetch: the load ends here rather than on a cache answer
      // that a missing URL would never bring.
      if (const auto self = weakSelf.lock()) self->finishLoad(awaited, std::nullopt, false);
      return;
    }
    OVAdUtility::loadRemoteVideoWithURL(awaitedVideo, [weakSelf, awaited, awaitedVideo](const auto& asset) {
      if (const auto self = weakSelf.lock()) self->finishLoad(awaited, awaitedVideo, asset != nullptr);
    });
  });
}

void OVNativeAd::finishLoad(const std::vector<std::shared_ptr<OVAdImage>>& awaited,
                            const std::optional<platform::URL>& awaitedVideo, bool videoArrived) {
  // Loaded means the media the policy names are there to be shown.
  bool complete = !awaitedVideo || videoArrived;
  for (const auto& image : awaited) complete = complete && isImageIn(image);
  if (!complete) {
    failLoad(OVAdError::getNSError(kOVAdErrorCodeNoFill, std::string(kMissingMediaDescription)));
    return;
  }
  const auto self = shared_from_this();
  if (const auto target = delegate()) target->nativeAdDidLoad(self);
  requests().removeObject(self);
}

void OVNativeAd::failLoad(const platform::Error& error) {
  const auto self = shared_from_this();
  if (const auto target = delegate()) target->nativeAd(self, error);
  adController_.reset();
  requests().removeObject(self);
}

void OVNativeAd::displayAdControllerFailed(const platform::Error& error) { failLoad(error); }

void OVNativeAd::displayAdControllerImpression() {
  if (const auto target = delegate()) target->nativeAdWillLogImpression(shared_from_this());
}

void OVNativeAd::displayAdControllerClickThru() {
  if (const auto target = delegate()) target->nativeAdDidClick(shared_from_this());
}

void OVNativeAd::displayAdControllerUserClosed() {
  if (const auto target = delegate()) target->nativeAdDidFinishHandlingClick(shared_from_this());
}

// ---- Assets ----

OVAdStarRating OVNativeAd::starRating() const { return dataModel_ ? dataModel_->starRating() : OVAdStarRating(); }

std::optional<std::string> OVNativeAd::title() const { return dataModel_ ? dataModel_->title() : std::nullopt; }

std::optional<std::string> OVNativeAd::subtitle() const {
  return dataModel_ ? dataModel_->subtitle() : std::nullopt;
}

std::optional<std::string> OVNativeAd::socialContext() const {
  return dataModel_ ? dataModel_->socialContext() : std::nullopt;
}

std::optional<std::string> OVNativeAd::callToAction() const {
  return dataModel_ ? dataModel_->callToAction() : std::nullopt;
}

std::shared_ptr<OVAdImage> OVNativeAd::icon() const { return dataModel_ ? dataModel_->icon() : nullptr; }

std::shared_ptr<OVAdImage> OVNativeAd::coverImage() const { return dataModel_ ? dataModel_->image() : nullptr; }

std::optional<std::string> OVNativeAd::rawBody() const { return dataModel_ ? dataModel_->body() : std::nullopt; }

std::optional<std::string> OVNativeAd::body() const {
  const auto raw = rawBody();
  if (!raw) return std::nullopt;
  return OVNativeAdShortenedBody(*raw);
}

std::optional<platform::URL> OVNativeAd::videoURL() const {
  return dataModel_ ? dataModel_->videoURL() : std::nullopt;
}

std::optional<bool> OVNativeAd::autoPlayEnabled() const {
  return dataModel_ ? dataModel_->videoAutoplayEnabled() : std::nullopt;
}

bool OVNativeAd::isVideoSupported() const { return videoURL().has_value(); }

OVNativeAd::Cards OVNativeAd::multiProductAdContent() const {
  return dataModel_ ? dataModel_->multiProductAdContent() : Cards();
}

bool OVNativeAd::isMultiProductSupported() const { return !multiProductAdContent().empty(); }

// ---- State ----

bool OVNativeAd::isAdValid() const {
  if (bypassValidation_) return true;
  return hasCalledLoadAd_ && dataModel_ && dataModel_->isValid();
}

std::optional<std::string> OVNativeAd::getAdNetwork() const {
  if (!isAdValid() || !adController_ || !adController_->currentAdapter()) return std::nullopt;
  return adController_->currentAdapter()->getAdNetwork();
}

}  // namespace plexora

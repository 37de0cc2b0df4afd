// Set-up, requests, the candidate waterfall with its timeout and retries,
// and the refresh timer.
#include "controllers/OVDisplayAdController.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <string>

#include "adapters/OVAdAdapterManager.h"
#include "dto/OVAdBidPayload.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacement.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "server/OVAdEnvironmentData.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdScreen.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kLoadingAdapterMessage = "Loading adapter: %s";
constexpr const char* kAdapterFailedMessage = "Adapter failed with error:%s";
constexpr const char* kDelayKey = "delay";
constexpr const char* kErrorKey = "error";
constexpr const char* kMessageKey = "msg";
constexpr double kMinimumFlexibleWidth = 320.0;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr std::int64_t kWholeSecondMilliseconds = 1000;

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::string text = OVAdFormatV(format, arguments);
  va_end(arguments);
  return text;
}

// The error as its full description reads: domain, code, description and
// the detail, which the request trackers carry as "msg".
std::string fullDescription(const platform::Error& error) {
  const std::string userInfo =
      OVAdUtility::getJSONStringFromObject(platform::Value(error.userInfo())).value_or(std::string("{}"));
  return "Error Domain=" + error.domain() + " Code=" + std::to_string(error.code()) + " \"" +
         error.localizedDescription() + "\" UserInfo=" + userInfo;
}

bool isFlexibleBannerSize(OVAdSize size) { return size == kOVAdSizeHeight50Banner || size == kOVAdSizeHeight90Banner; }

}  // namespace

std::shared_ptr<OVDisplayAdController> OVDisplayAdController::create() {
  return std::shared_ptr<OVDisplayAdController>(new OVDisplayAdController());
}

OVDisplayAdController::~OVDisplayAdController() {
  disableViewabilityValidator();
  stopObservingNotifications();
  invalidateCurrentAd();
  invalidateInProgressAd();
}

// ---- Set-up and requests ----

void OVDisplayAdController::loadAdWithPlacementId(const std::string& placementId, std::int64_t placementType,
                                                  std::int64_t templateID, OVAdSize adSize,
                                                  std::shared_ptr<OVAdProvider> adProvider,
                                                  std::shared_ptr<OVRewardedVideoRewardData> rewardData,
                                                  const std::optional<std::string>& bidPayload) {
  checkInitialization();
  adSizeType_ = adSize;
  placementID_ = placementId;
  placementType_ = placementType;
  // A disableAutoRefresh made before set-up stands.
  if (refreshInterval_ >= 0) {
    refreshInterval_ = placementType == kOVAdPlacementTypeBanner ? kBannerRefreshInterval : 0;
  }
  retryCount_ = 0;
  adProvider_ = std::move(adProvider);
  if (adProvider_) {
    adProvider_->setDelegate(weak_from_this());
  }
  rewardData_ = std::move(rewardData);

  std::shared_ptr<const OVAdBidPayload> payload;
  if (bidPayload) {
    std::optional<platform::Error> error;
    payload = OVAdBidPayload::initWithJsonData(*bidPayload, placementId, templateID, &error);
    if (!payload) {
      bidPayloadError_ = error.value_or(OVAdError::getNSError(kOVAdErrorCodeInternalError));
      notifyAdError(*bidPayloadError_);
      return;
    }
  }
  if (placementType == kOVAdPlacementTypeNative) {
    environment_ = std::make_shared<OVAdEnvironmentData>(placementId, kOVAdPlacementTypeNative, templateID,
                                                         kOVAdSizeNative, 1, payload);
  } else {
    environment_ = std::make_shared<OVAdEnvironmentData>(placementId, placementType, templateID, adSizeType_, payload);
  }
  startObservingNotifications();
  initialLoadAd();
}

void OVDisplayAdController::checkInitialization() {
  if (initialized_) {
    throw platform::Exception(platform::kInternalInconsistencyException, kOVDisplayAdControllerInitializedTwiceReason);
  }
  initialized_ = true;
}

void OVDisplayAdController::initialLoadAd() {
  if (adProvider_) {
    adProvider_->loadAdWithEnvironmentData(nullptr);
  } else {
    loadAd();
  }
}

void OVDisplayAdController::loadAd() {
  invalidateInProgressAd();
  // Nothing to request for before set-up, or after a bid payload that did
  // not parse; the unit's later loads then hear why.
  if (!environment_) {
    if (bidPayloadError_) {
      notifyAdError(*bidPayloadError_);
    }
    return;
  }
  adProvider_ = OVAdProvider::initWithDelegate(weak_from_this());
  // A retry is exempt from load throttling.
  environment_->setRetryForPodPosition(retryCount_ > 0);
  setInitialAdViewSize(adSizeType_);
  // The provider may answer at once; keep it alive through the call.
  const auto provider = adProvider_;
  provider->loadAdWithEnvironmentData(environment_);
}

void OVDisplayAdController::setInitialAdViewSize(OVAdSize adSize) {
  adSizeType_ = adSize;
  actualAdSize_ = isFlexibleBannerSize(adSize)
                      ? platform::Size{std::max(OVAdScreen::sizeInOrientation().width, kMinimumFlexibleWidth), adSize.height}
                      : platform::Size{adSize.width, adSize.height};
}

void OVDisplayAdController::onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) {
  const std::shared_ptr<OVAdPlacement>& placement = response->adPlacement();
  currentPlacementDefinition_ =
      placement->definition() ? placement->definition() : std::make_shared<OVAdPlacementDefinition>();
  updateRefreshInterval(currentPlacementDefinition_->refreshInterval());
  nextPlacementDefinition_ = currentPlacementDefinition_;
  if (placement->adCandidates().empty()) {
    onAdRequestError(OVAdError::getNSError(kOVAdErrorCodeNoFill));
    return;
  }
  nextAdsData_ = placement->adCandidates();
  nextAdsDataCurrentPos_ = -1;
  tryNextAdFromList();
}

void OVDisplayAdController::onAdRequestError(const platform::Error& error) {
  invalidateInProgressAd();
  scheduleRefresh();
  notifyAdError(error);
}

// ---- The waterfall ----

bool OVDisplayAdController::tryNextAdFromList() {
  ++nextAdsDataCurrentPos_;
  if (nextAdsDataCurrentPos_ >= static_cast<std::int64_t>(nextAdsData_.size())) {
    return false;
  }
  currentAdCandidate_ = nextAdsData_[static_cast<std::size_t>(nextAdsDataCurrentPos_)];
  adProvider_.reset();

  const std::string& adapterID = currentAdCandidate_->adapterID();
  const auto adapterClass = OVAdAdapterManager::classForId(adapterID, placementType_);
  nextAdapter_ = adapterClass ? adapterClass->initWithDelegate(weak_from_this()) : nullptr;
  if (!nextAdapter_) {
    OV_LOG(kOVAdLogLevelError, kOVDisplayAdControllerMissingAdapterFormat, adapterID.c_str());
    const platform::Error error = OVAdError::getNSError(
        kOVAdErrorCodeInternalError, formatted(kOVDisplayAdControllerMissingAdapterFormat, adapterID.c_str()));
    // Nothing started, so no request tracker fires for this candidate, even
    // when an adapter dropped in flight left its start time behind.
    adapterLoadTime_ = -1.0;
    // The failure moves on by itself, to the next candidate or, after the
    // last one, to the list's end; the caller must not handle that end again.
    adapter(nullptr, error);
    return true;
  }

  // The adapter may report before loadAdData returns; hold it meanwhile.
  const auto adapter = nextAdapter_;
  OV_LOG(kOVAdLogLevelDebug, kLoadingAdapterMessage, adapter->className().c_str());
  adapter->setDelegate(weak_from_this());
  scheduleTimeout(currentPlacementDefinition_->requestTimeout() / kWholeSecondMilliseconds);
  const OVAdSize placementSize = currentPlacementDefinition_->placementSize();
  const bool placementSizeUnset =
      placementSize == OVAdSize{kOVAdPlacementSizeUnset, kOVAdPlacementSizeUnset};
  adapterLoadTime_ = platform::Clock::current()->wallTime();
  adapter->loadAdData(currentAdCandidate_->data(), placementSizeUnset ? adSizeType_ : placementSize,
                      environment_->initOrientation(), placementID_, nextPlacementDefinition_, rewardData_);
  return true;
}

void OVDisplayAdController::scheduleTimeout(std::int64_t seconds) {
  if (!nextAdapter_) {
    return;
  }
  invalidateTimeoutTimer();
  nextAdapterTimeoutTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      static_cast<double>(seconds), false, [weakSelf = weak_from_this()](const std::shared_ptr<OVAdTimer>&) {
        const auto self = weakSelf.lock();
        if (!self || !self->nextAdapter_) {
          return;
        }
        const auto timedOut = self->nextAdapter_;
        const platform::Error error = OVAdError::getNSError(
            kOVAdErrorCodeInternalError, formatted(kOVDisplayAdControllerTimeoutFormat, timedOut->className().c_str()));
        self->adapter(timedOut, error);
      });
}

void OVDisplayAdController::invalidateTimeoutTimer() {
  if (nextAdapterTimeoutTimer_) {
    nextAdapterTimeoutTimer_->invalidate();
    nextAdapterTimeoutTimer_.reset();
  }
}

void OVDisplayAdController::fireRequestTrackers(const std::optional<platform::Error>& error) {
  if (adapterLoadTime_ <= 0.0 || !currentAdCandidate_) {
    return;
  }
  const auto delay = static_cast<long>(
      std::trunc((platform::Clock::current()->wallTime() - adapterLoadTime_) * kMillisecondsPerSecond));
  adapterLoadTime_ = -1.0;
  platform::Dictionary extraData{{kDelayKey, std::to_string(delay)}};
  if (error) {
    extraData.set(kErrorKey, std::to_string(error->code()));
    extraData.set(kMessageKey, fullDescription(*error));
  }
  currentAdCandidate_->fireTrackers(OVAdTrackerType::Request, platform::Value(std::move(extraData)));
}

void OVDisplayAdController::adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (!adapter || adapter != nextAdapter_) {
    return;
  }
  fireRequestTrackers(std::nullopt);
  retryCount_ = 0;
  if (currentAdapter_) {
    currentAdapter_->setDelegate({});
  }
  adapterHadImpression_ = false;
  controllerHadImpression_ = false;
  currentAdapterFailed_ = false;
  currentAdapter_ = adapter;
  currentPlacementDefinition_ = nextPlacementDefinition_;
  ensureViewabilityValidator();
  nextAdapter_.reset();
  invalidateTimeoutTimer();
  nextAdsData_.clear();
  nextAdsDataCurrentPos_ = -1;
  if (started_) {
    notifyAdViewPresented();
  } else {
    notifyAdLoaded();
  }
}

void OVDisplayAdController::adapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const platform::Error& error) {
  OV_LOG(kOVAdLogLevelError, kAdapterFailedMessage, fullDescription(error).c_str());
  if (adapter != nextAdapter_) {
    if (isCurrentAdapter(adapter)) {
      handleCurrentAdFailure(error);
    }
    return;
  }
  fireRequestTrackers(error);
  if (!tryNextAdFromList()) {
    handleExhaustedList(error);
  }
}

void OVDisplayAdController::handleExhaustedList(const platform::Error& lastError) {
  const std::int64_t retriesSoFar = retryCount_;
  retryCount_ = retriesSoFar + 1;
  const std::int64_t maximum = currentPlacementDefinition_ ? currentPlacementDefinition_->clientMaxRetryCount() : 0;
  if (retriesSoFar >= maximum) {
    invalidateInProgressAd();
    notifyAdError(lastError);
  } else {
    retry();
  }
}

void OVDisplayAdController::retry() {
  invalidateInProgressAd();
  loadAd();
}

void OVDisplayAdController::refresh() {
  retryCount_ = 0;
  retry();
}

void OVDisplayAdController::invalidateInProgressAd() {
  if (adProvider_) {
    const auto provider = std::move(adProvider_);
    provider->cancel();
  }
  invalidateTimeoutTimer();
  nextAdapter_.reset();
  nextAdsData_.clear();
  nextAdsDataCurrentPos_ = -1;
  invalidateRefreshTimer();
}

void OVDisplayAdController::invalidateCurrentAd() { currentAdapter_.reset(); }

// ---- Refresh ----

void OVDisplayAdController::scheduleRefresh() { scheduleRefreshIn(refreshInterval_); }

void OVDisplayAdController::scheduleRefreshIn(std::int64_t seconds) {
  if (seconds <= 0) {
    return;
  }
  invalidateRefreshTimer();
  refreshTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      static_cast<double>(seconds), false, [weakSelf = weak_from_this()](const std::shared_ptr<OVAdTimer>&) {
        if (const auto self = weakSelf.lock()) {
          self->refresh();
        }
      });
}

void OVDisplayAdController::updateRefreshInterval(std::int64_t seconds) {
  if (refreshInterval_ < 0) {
    return;
  }
  refreshInterval_ = seconds;
}

void OVDisplayAdController::invalidateRefreshTimer() {
  if (refreshTimer_) {
    refreshTimer_->invalidate();
    refreshTimer_.reset();
  }
}

void OVDisplayAdController::disableAutoRefresh() {
  refreshInterval_ = -1;
  invalidateRefreshTimer();
}

}  // namespace plexora

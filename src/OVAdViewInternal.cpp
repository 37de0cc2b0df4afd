// Creation, loading, layout and viewability of one HTML ad, and the
// container's reports.
#include "OVAdViewInternal.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "adapters/OVHTMLAdDataModel.h"
#include "controllers/OVDisplayAdController.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/ui/Color.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdTimer.h"

namespace plexora {

namespace {

constexpr const char* kInvalidAdDataMessage = "HTML ad data without a client token or markup; the ad is not shown";
constexpr std::int64_t kWholeSecondMilliseconds = 1000;

// A size below the minimum takes the minimum, one above the maximum the
// maximum; a bound of 0 by 0 does not apply.
double bounded(double value, double minimum, double maximum, bool hasMinimum, bool hasMaximum) {
  if (hasMinimum && value < minimum) return minimum;
  if (hasMaximum && value > maximum) return maximum;
  return value;
}

}  // namespace

std::shared_ptr<OVAdViewInternal> OVAdViewInternal::initWithAdData(
    const platform::Dictionary& adData, std::shared_ptr<OVAdPlacementDefinition> placementDefinition,
    OVAdSize adSize) {
  std::shared_ptr<OVAdViewInternal> adView(new OVAdViewInternal());
  adView->setHidden(true);
  adView->setBackgroundColor(platform::Color::clear());
  adView->isInterstitial_ = adSize == kOVAdSizeInterstitial;
  adView->setAdSize(adSize);
  adView->updateInitialAdViewSize(adSize);

  adView->commandHandler_ = OVAdCommandProcessor::create();
  adView->commandHandler_->setDelegate(std::weak_ptr<OVAdCommandProcessorDelegate>(adView));

  std::shared_ptr<OVHTMLAdDataModel> model = OVHTMLAdDataModel::initWithMetadata(platform::Value(adData));
  if (OVAdCommandProcessor::shouldInvalidate(model) || !model->isValid()) {
    OV_LOG(kOVAdLogLevelError, "%s", kInvalidAdDataMessage);
    model.reset();
  }
  adView->createAdContentContainer(model && model->isVideo().value_or(false));

  adView->placementDefinition_ = placementDefinition ? std::move(placementDefinition)
                                                     : std::make_shared<OVAdPlacementDefinition>();
  adView->isImpressionSent_ = false;
  adView->adValid_ = true;
  if (adView->adContentContainer_) {
    adView->adContentContainer_->loadAdData(model, adView->placementDefinition_->minViewabilityPercentage());
  }
  return adView;
}

OVAdViewInternal::~OVAdViewInternal() {
  invalidatePageTimeout();
  if (adContentContainer_) {
    adContentContainer_->setDelegate({});
  }
  if (commandHandler_) {
    commandHandler_->setDelegate({});
  }
  disableViewabilityValidation();
}

void OVAdViewInternal::createAdContentContainer(bool forceUIWebView) {
  adContentContainer_ = OVAdCreateContentContainer(std::static_pointer_cast<OVAdViewNavigationPolicy>(sharedInternal()),
                                                   forceUIWebView, actualAdSize(), adSize());
  if (!adContentContainer_) {
    return;
  }
  adContentContainer_->setDelegate(std::weak_ptr<OVAdContentContainerDelegate>(sharedInternal()));
  if (const auto page = adContentContainer_->getView()) {
    page->setFrame(bounds());
    addSubview(page);
  }
}

// ---- Loading ----

bool OVAdViewInternal::isAdValid() const {
  return adValid_ && adContentContainer_ && adContentContainer_->offsiteAd() != nullptr;
}

void OVAdViewInternal::loadAd() {
  // The adapter hears of the load now; the page shows the view when it has
  // loaded (adDidLoad), and a second report from there is ignored upstream.
  schedulePageTimeout();
  if (const auto target = delegate()) {
    target->adViewDidLoad(sharedAdView());
  }
}

void OVAdViewInternal::loadAdFromMarkup(const std::string& markup, const std::string& activationCommand,
                                        platform::InterfaceOrientation orientation) {
  adValid_ = true;
  orientation_ = orientation;
  isImpressionSent_ = true;
  if (adContentContainer_) {
    adContentContainer_->loadAdMarkup(markup, activationCommand);
  }
}

void OVAdViewInternal::schedulePageTimeout() {
  if (pageLoaded_ || pageFailed_) {
    return;
  }
  invalidatePageTimeout();
  const std::int64_t seconds = placementDefinition_->requestTimeout() / kWholeSecondMilliseconds;
  const std::weak_ptr<OVAdViewInternal> weakSelf = sharedInternal();
  pageTimeoutTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      static_cast<double>(seconds), false, [weakSelf](const std::shared_ptr<OVAdTimer>&) {
        const auto self = weakSelf.lock();
        if (!self || self->pageLoaded_ || self->pageFailed_) {
          return;
        }
        std::string description(kOVDisplayAdControllerTimeoutFormat);
        description.replace(description.find("%s"), 2, kOVAdViewInternalPageTimeoutSubject);
        self->adDidFailToLoadWithError(OVAdError::getNSError(kOVAdErrorCodeInternalError, description));
      });
}

void OVAdViewInternal::invalidatePageTimeout() {
  if (pageTimeoutTimer_) {
    pageTimeoutTimer_->invalidate();
    pageTimeoutTimer_.reset();
  }
}

std::shared_ptr<OVAdDataModel> OVAdViewInternal::offsiteAd() const {
  return adContentContainer_ ? adContentContainer_->offsiteAd() : nullptr;
}

platform::InterfaceOrientation OVAdViewInternal::orientation() const {
  if (orientation_ != platform::InterfaceOrientation::Unknown) {
    return orientation_;
  }
  const auto model = std::dynamic_pointer_cast<OVHTMLAdDataModel>(offsiteAd());
  return model ? model->orientation() : platform::InterfaceOrientation::Unknown;
}

// ---- Layout ----

platform::Rect OVAdViewInternal::validRectForFrame(platform::Rect frame) const {
  if (!adContentContainer_) {
    return frame;
  }
  const platform::Size minimum = adContentContainer_->minimumSize();
  const platform::Size maximum = adContentContainer_->maximumSize();
  const bool hasMinimum = minimum != platform::Size{};
  const bool hasMaximum = maximum != platform::Size{};
  return {frame.origin,
          {bounded(frame.size.width, minimum.width, maximum.width, hasMinimum, hasMaximum),
           bounded(frame.size.height, minimum.height, maximum.height, hasMinimum, hasMaximum)}};
}

void OVAdViewInternal::setFrame(platform::Rect frame) {
  platform::View::setFrame(validRectForFrame(frame));
  if (adContentContainer_) {
    adContentContainer_->setFrame(bounds());
  }
}

void OVAdViewInternal::setBounds(platform::Rect bounds) {
  platform::View::setBounds(validRectForFrame(bounds));
  if (adContentContainer_) {
    adContentContainer_->setFrame(this->bounds());
  }
}

// ---- Viewability and impression ----

void OVAdViewInternal::didMoveToSuperview() {
  if (superview()) {
    ensureViewabilityValidation();
  } else {
    disableViewabilityValidation();
  }
}

void OVAdViewInternal::ensureViewabilityValidation() {
  // A page still loading is hidden: checking it would only count misses,
  // and the page's load schedules the checks anyway.
  if (isImpressionSent_ || !superview() || !isAdValid() || isHidden()) {
    return;
  }
  if (!viewabilityValidator_) {
    const auto& definition = *placementDefinition_;
    viewabilityValidator_ = OVAdViewabilityValidator::initWithView(
        std::static_pointer_cast<platform::View>(shared_from_this()), definition.viewabilityCheckInterval(),
        definition.viewabilityCheckInitialDelay(), definition.minViewabilityPercentage(),
        definition.minViewabilityTicks(), true);
    viewabilityValidator_->setDelegate(std::weak_ptr<OVAdViewabilityValidatorDelegate>(sharedInternal()));
  }
  viewabilityValidator_->scheduleViewabilityCheck();
}

void OVAdViewInternal::disableViewabilityValidation() {
  if (viewabilityValidator_) {
    viewabilityValidator_->stopViewabilityCheck();
  }
}

bool OVAdViewInternal::viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& /*validator*/,
                                            OVAdViewabilityStatus status) {
  if (status != OVAdViewabilityStatus::Viewable) {
    return false;
  }
  if (!isImpressionSent_ && adContentContainer_) {
    isImpressionSent_ = adContentContainer_->logImpression();
  }
  return isImpressionSent_;
}

// ---- The container's reports ----

void OVAdViewInternal::adDidLoad() {
  // The host was told this ad failed; showing it now would show an ad
  // that is neither counted nor refreshed.
  if (pageFailed_) {
    return;
  }
  pageLoaded_ = true;
  invalidatePageTimeout();
  setHidden(false);
  if (const auto target = delegate()) {
    target->adViewDidLoad(sharedAdView());
  }
}

void OVAdViewInternal::adWillLogImpression() {
  if (const auto target = delegate()) {
    target->adViewWillLogImpression(sharedAdView());
  }
}

void OVAdViewInternal::adDidFailToLoadWithError(const platform::Error& error) {
  // A page that failed is neither shown nor watched for an impression.
  if (pageFailed_) {
    return;
  }
  pageFailed_ = true;
  invalidatePageTimeout();
  adValid_ = false;
  setHidden(true);
  disableViewabilityValidation();
  if (const auto target = delegate()) {
    target->adView(sharedAdView(), error);
  }
}

void OVAdViewInternal::adDidLogClick() {
  if (const auto target = delegate()) {
    target->adViewDidClick(sharedAdView());
  }
}

void OVAdViewInternal::adDidFinishHandlingClick() { finishHandlingClick(); }

std::shared_ptr<OVAdViewabilityValidator> OVAdViewInternal::contentContainerViewabilityValidator() {
  return viewabilityValidator_;
}

}  // namespace plexora

#include "adapters/views/contentcontainer/OVAdWebPageContainer.h"

#include <utility>

#include "adapters/OVHTMLAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdContentContainerBridge.h"
#include "adapters/views/contentcontainer/OVAdContentContainerClickThreshold.h"
#include "adapters/views/contentcontainer/OVAdContentContainerTouchRecord.h"
#include "adapters/views/contentcontainer/OVAdContentContainerTouchTracking.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kJavascriptInitFailedFormat = "JavaScript init failed, retries left: %lld";

}  // namespace

// ---- Making ----

OVAdWebPageContainer::OVAdWebPageContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                           platform::Size actualAdSize, OVAdSize adSizeType,
                                           std::shared_ptr<OVAdContentContainerPageView> view)
    : OVAdContentContainerFields(adView, actualAdSize, adSizeType),
      view_(std::move(view)),
      touchRecognizer_(std::make_shared<OVAdTouchGestureRecognizer>()) {
  // Hidden until the page's first navigation, so an empty page never shows.
  view_->setHidden(true);
  view_->addGestureRecognizer(touchRecognizer_);
}

void OVAdWebPageContainer::trackTouches() {
  touchRecognizer_->setDelegate(std::weak_ptr<OVAdTouchGestureRecognizerDelegate>(shared_from_this()));
}

void OVAdWebPageContainer::setFrame(platform::Rect frame) { view_->setFrame(frame); }

std::shared_ptr<platform::View> OVAdWebPageContainer::getView() const { return view_; }

// ---- Loading ----

bool OVAdWebPageContainer::loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t /*minViewability*/) {
  // A model of another kind has no markup to show; keeping it would make
  // the owner take the ad for valid.
  const auto html = std::dynamic_pointer_cast<OVHTMLAdDataModel>(adData);
  if (!html) {
    return false;
  }
  offsiteAd_ = adData;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  const std::weak_ptr<OVAdWebPageContainer> weakContainer = weak_from_this();
  platform::DispatchQueue::main()->async([weakContainer, html] {
    const auto self = weakContainer.lock();
    if (!self) {
      return;
    }
    if (const auto model = self->modelToLoad(html)) {
      self->startPage(model->markup().value_or(""), model->activationCommand().value_or(""));
    }
  });
  return true;
}

bool OVAdWebPageContainer::loadAdMarkup(const std::string& markup, const std::string& activationCommand) {
  startPage(markup, activationCommand);
  return true;
}

void OVAdWebPageContainer::startPage(const std::string& markup, const std::string& activationCommand) {
  resetPage();
  ++pageGeneration_;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  activationCommand_ = activationCommand;
  javascriptAdControlInitialized_ = false;
  javascriptAdControlFailed_ = false;
  pageLoaded_ = false;
  page().loadHTMLString(markup, OVAdSettings::getWebviewBaseURL());
}

void OVAdWebPageContainer::losePage() {
  resetPage();
  ++pageGeneration_;
  javascriptAdControlInitialized_ = false;
  pageLoaded_ = false;
}

// ---- The bridge ----

void OVAdWebPageContainer::logJavascriptAdControlAttemptFailed(long long retriesLeft) {
  OV_LOG(kOVAdLogLevelDebug, kJavascriptInitFailedFormat, retriesLeft);
}

void OVAdWebPageContainer::reportJavascriptAdControlFailure() {
  javascriptAdControlFailed_ = true;
  if (const auto owner = delegate()) {
    owner->adDidFailToLoadWithError(
        OVAdError::getNSError(kOVAdErrorCodeInternalError, std::string(kOVAdJavascriptAdControlFailedDescription)));
  }
}

// ---- Impression ----

bool OVAdWebPageContainer::logImpressionOnReadyPage() {
  if (loggedImpression_) {
    return true;
  }
  // Asked first: without a validator nothing is logged, so the page must
  // not hear of an impression nor the impression time move.
  const auto owner = delegate();
  const auto validator = owner ? owner->contentContainerViewabilityValidator() : nullptr;
  if (!validator) {
    return false;
  }
  firstImpressionTime_ = platform::Clock::current()->timeSinceReferenceDate();
  announceImpression(owner);
  const std::string token = offsiteAd_ ? offsiteAd_->inlineClientToken().value_or("") : "";
  OVAdEventManager::sharedManager()->logImpressionForToken(token,
                                                           OVAdContentContainerImpressionExtraData(*this, *validator));
  loggedImpression_ = true;
  return true;
}

// ---- Navigation ----

bool OVAdWebPageContainer::allowsNavigation(const platform::WebNavigationAction& action) {
  view_->setHidden(false);
  if (action.type != platform::WebNavigationType::LinkActivated) {
    return true;
  }
  const auto policy = parent();
  if (policy && policy->isModalViewPresenting()) {
    return false;
  }
  // A tap the page makes right after its impression is no user's click.
  if (OVAdIsPrematureClick(firstImpressionTime_)) {
    return false;
  }
  const auto url = platform::URL::parse(action.url);
  if (!url || !policy) {
    // Neither opened nor handled: the ad's page stays as it is.
    return false;
  }
  return !policy->processRequestURL(*url, offsiteAd_, platform::Value());
}

void OVAdWebPageContainer::pageDidFinishLoading() {
  pageLoaded_ = true;
  initializeJavascriptAdControl();
  if (const auto owner = delegate()) {
    owner->adDidLoad();
  }
  if (const auto policy = parent()) {
    policy->ensureViewabilityValidation();
  }
}

void OVAdWebPageContainer::pageDidFailToLoad(const platform::Error& error) {
  // A markup that fails to load must not leave the owner waiting for an ad
  // that never comes. Once the ad showed, a frame or link of its page
  // failing leaves the ad as it is: it must not be hidden or reported as
  // not loaded. A page gone with its web process is another matter:
  // nothing of the ad is left to show or to count, and its bridge went
  // with it.
  if (platform::isWebProcessTermination(error)) {
    losePage();
  } else if (pageLoaded_) {
    return;
  }
  if (const auto owner = delegate()) {
    owner->adDidFailToLoadWithError(error);
  }
}

// ---- Touches ----

void OVAdWebPageContainer::gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                             const platform::Touches& touches,
                                                             const platform::Event& event) {
  OVAdContentContainerTouchBegan(*this, touches, event);
}

void OVAdWebPageContainer::gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                             const platform::Touches& touches,
                                                             const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebPageContainer::gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                             const platform::Touches& touches,
                                                             const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebPageContainer::gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                 const platform::Touches& touches,
                                                                 const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

}  // namespace plexora

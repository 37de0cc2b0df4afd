#include "adapters/views/contentcontainer/OVAdWebContentContainer.h"

#include <utility>
#include <variant>

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
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kJavascriptInitFailedFormat = "JavaScript init failed, retries left: %lld";
constexpr long long kNoRetries = 0;
constexpr double kNoFirstImpression = -1.0;

}  // namespace

// ---- Making ----

std::shared_ptr<OVAdWebContentContainer> OVAdWebContentContainer::initWithAdView(
    const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize, OVAdSize adSizeType) {
  std::shared_ptr<OVAdWebContentContainer> container(new OVAdWebContentContainer(adView, actualAdSize, adSizeType));
  container->webView_->setDelegate(std::weak_ptr<platform::SyncWebViewDelegate>(container));
  container->touchRecognizer_->setDelegate(std::weak_ptr<OVAdTouchGestureRecognizerDelegate>(container));
  return container;
}

OVAdWebContentContainer::OVAdWebContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                 platform::Size actualAdSize, OVAdSize adSizeType)
    : parent_(adView),
      actualAdSize_(actualAdSize),
      adSizeType_(adSizeType),
      webView_(platform::makeSyncWebView()),
      view_(std::make_shared<OVAdContentContainerPageView>(webView_)),
      touchRecognizer_(std::make_shared<OVAdTouchGestureRecognizer>()) {
  // Hidden until the page's first navigation, so an empty page never shows.
  view_->setHidden(true);
  view_->addGestureRecognizer(touchRecognizer_);
}

std::shared_ptr<OVHTMLAdDataModel> OVAdWebContentContainer::htmlDataModel() const {
  return std::dynamic_pointer_cast<OVHTMLAdDataModel>(offsiteAd_);
}

void OVAdWebContentContainer::setFrame(platform::Rect frame) { view_->setFrame(frame); }

std::shared_ptr<platform::View> OVAdWebContentContainer::getView() const { return view_; }

// ---- Loading ----

bool OVAdWebContentContainer::loadAdData(const std::shared_ptr<OVAdDataModel>& adData,
                                         std::int64_t /*minViewability*/) {
  // A model of another kind has no markup to show; keeping it would make
  // the owner take the ad for valid.
  if (!std::dynamic_pointer_cast<OVHTMLAdDataModel>(adData)) {
    return false;
  }
  offsiteAd_ = adData;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  const std::weak_ptr<OVAdWebContentContainer> weakSelf = shared_from_this();
  platform::DispatchQueue::main()->async([weakSelf] {
    const auto self = weakSelf.lock();
    if (!self) {
      return;
    }
    if (const auto html = self->htmlDataModel()) {
      self->startPage(html->markup().value_or(""), html->activationCommand().value_or(""));
    }
  });
  return true;
}

bool OVAdWebContentContainer::loadAdMarkup(const std::string& markup, const std::string& activationCommand) {
  startPage(markup, activationCommand);
  return true;
}

void OVAdWebContentContainer::startPage(const std::string& markup, const std::string& activationCommand) {
  ++pageGeneration_;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  activationCommand_ = activationCommand;
  javascriptAdControlInitialized_ = false;
  javascriptAdControlQueued_ = false;
  javascriptAdControlFailed_ = false;
  pageLoaded_ = false;
  webView_->loadHTMLString(markup, OVAdSettings::getWebviewBaseURL());
}

void OVAdWebContentContainer::losePage() {
  ++pageGeneration_;
  javascriptAdControlInitialized_ = false;
  javascriptAdControlQueued_ = false;
  pageLoaded_ = false;
}

bool OVAdWebContentContainer::logClickWithExtraData(const platform::Value& /*extraData*/) {
  OVAdIsPrematureClick(firstImpressionTime_);
  return false;
}

// ---- The bridge ----

void OVAdWebContentContainer::initializeJavascriptAdControl() {
  if (javascriptAdControlInitialized_ || javascriptAdControlQueued_ || javascriptAdControlFailed_) {
    return;
  }
  javascriptAdControlQueued_ = true;
  const std::weak_ptr<OVAdWebContentContainer> weakSelf = shared_from_this();
  const std::uint64_t generation = pageGeneration_;
  platform::DispatchQueue::main()->async([weakSelf, generation, bridgeScript = OVAdAdControlScript()] {
    const auto self = weakSelf.lock();
    if (self && self->pageGeneration_ == generation) {
      self->setUpJavascriptAdControl(bridgeScript);
    }
  });
}

void OVAdWebContentContainer::setUpJavascriptAdControl(const std::string& bridgeScript) {
  javascriptAdControlQueued_ = false;
  // The bridge runs at the page's top level so the page sees AdControl; the
  // ad's own command is wrapped, so its throws stay inside the page.
  platform::SyncWebView::JavaScriptAnswer answer = webView_->evaluateJavaScript(bridgeScript, kScriptTimeout);
  if (!std::holds_alternative<platform::Error>(answer)) {
    answer = webView_->evaluateJavaScript(OVAdWrapScriptInTryCatch(activationCommand_), kScriptTimeout);
  }
  if (!std::holds_alternative<platform::Error>(answer)) {
    javascriptAdControlInitialized_ = true;
    return;
  }
  // Without a bridge the page never sends its impression; one attempt
  // only, as every attempt may hold the main thread for the timeout.
  OV_LOG(kOVAdLogLevelDebug, kJavascriptInitFailedFormat, kNoRetries);
  javascriptAdControlFailed_ = true;
  if (const auto owner = delegate()) {
    owner->adDidFailToLoadWithError(
        OVAdError::getNSError(kOVAdErrorCodeInternalError, std::string(kOVAdJavascriptAdControlFailedDescription)));
  }
}

// ---- Impression ----

bool OVAdWebContentContainer::logImpression() {
  if (!javascriptAdControlInitialized_) {
    return false;
  }
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
  const std::weak_ptr<OVAdContentContainerDelegate> weakOwner = owner;
  const std::weak_ptr<OVAdWebContentContainer> weakSelf = shared_from_this();
  const std::uint64_t generation = pageGeneration_;
  platform::DispatchQueue::main()->async([weakOwner, weakSelf, generation] {
    if (const auto target = weakOwner.lock()) {
      target->adWillLogImpression();
    }
    if (const auto self = weakSelf.lock()) {
      self->sendImpressionToPage(generation);
    }
  });
  const std::string token = offsiteAd_ ? offsiteAd_->inlineClientToken().value_or("") : "";
  OVAdEventManager::sharedManager()->logImpressionForToken(token,
                                                           OVAdContentContainerImpressionExtraData(*this, *validator));
  loggedImpression_ = true;
  return true;
}

void OVAdWebContentContainer::sendImpressionToPage(std::uint64_t generation) {
  // A page loaded since has an impression of its own to come.
  if (pageGeneration_ != generation) {
    return;
  }
  webView_->evaluateJavaScript(OVAdWrapScriptInTryCatch(kOVAdSendImpressionScript), kScriptTimeout);
}

// ---- Navigation ----

bool OVAdWebContentContainer::shouldStartLoad(platform::SyncWebView& /*webView*/,
                                              const platform::WebNavigationAction& action) {
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

void OVAdWebContentContainer::didFinishLoad(platform::SyncWebView& /*webView*/) {
  pageLoaded_ = true;
  initializeJavascriptAdControl();
  if (const auto owner = delegate()) {
    owner->adDidLoad();
  }
  if (const auto policy = parent()) {
    policy->ensureViewabilityValidation();
  }
}

void OVAdWebContentContainer::didFailLoad(platform::SyncWebView& /*webView*/, const platform::Error& error) {
  // A markup that fails to load must not leave the owner waiting for an ad
  // that never comes. Once the ad showed, a frame or link of its page
  // failing leaves the ad as it is. A page gone with its web process left
  // nothing to show or count, its bridge included.
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

void OVAdWebContentContainer::gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                const platform::Touches& touches,
                                                                const platform::Event& event) {
  OVAdContentContainerTouchBegan(*this, touches, event);
}

void OVAdWebContentContainer::gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                const platform::Touches& touches,
                                                                const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebContentContainer::gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                const platform::Touches& touches,
                                                                const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebContentContainer::gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                    const platform::Touches& touches,
                                                                    const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

}  // namespace plexora

#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"

#include <optional>
#include <utility>

#include "adapters/OVHTMLAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdContentContainerClickThreshold.h"
#include "adapters/views/contentcontainer/OVAdContentContainerBridge.h"
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
#include "util/OVAdTimer.h"

namespace plexora {

namespace {

constexpr const char* kJavascriptInitFailedFormat = "JavaScript init failed, retries left: %lld";

constexpr double kNoFirstImpression = -1.0;

}  // namespace

// ---- OVAdWebContentContainerView ----

OVAdWebContentContainerView::OVAdWebContentContainerView(std::shared_ptr<platform::WebView> webView)
    : OVAdContentContainerPageView(webView), webView_(std::move(webView)) {}

// ---- Making ----

std::shared_ptr<OVAdWebKitContentContainer> OVAdWebKitContentContainer::initWithAdView(
    const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize, OVAdSize adSizeType) {
  std::shared_ptr<OVAdWebKitContentContainer> container(
      new OVAdWebKitContentContainer(adView, actualAdSize, adSizeType));
  container->webView_->setNavigationDelegate(
      std::weak_ptr<platform::WebViewNavigationDelegate>(container));
  container->touchRecognizer_->setDelegate(std::weak_ptr<OVAdTouchGestureRecognizerDelegate>(container));
  return container;
}

OVAdWebKitContentContainer::OVAdWebKitContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                       platform::Size actualAdSize, OVAdSize adSizeType)
    : parent_(adView),
      actualAdSize_(actualAdSize),
      adSizeType_(adSizeType),
      webView_(platform::makeWebView()),
      view_(std::make_shared<OVAdWebContentContainerView>(webView_)),
      touchRecognizer_(std::make_shared<OVAdTouchGestureRecognizer>()) {
  // Hidden until the page's first navigation, so an empty page never shows.
  view_->setHidden(true);
  view_->addGestureRecognizer(touchRecognizer_);
}

OVAdWebKitContentContainer::~OVAdWebKitContentContainer() { stopImpressionRetry(); }

void OVAdWebKitContentContainer::setFrame(platform::Rect frame) { view_->setFrame(frame); }

std::shared_ptr<platform::View> OVAdWebKitContentContainer::getView() const { return view_; }

// ---- Loading ----

bool OVAdWebKitContentContainer::loadAdData(const std::shared_ptr<OVAdDataModel>& adData,
                                            std::int64_t /*minViewability*/) {
  // A model of another kind has no markup to show; keeping it would make
  // the owner take the ad for valid.
  const auto html = std::dynamic_pointer_cast<OVHTMLAdDataModel>(adData);
  if (!html) {
    return false;
  }
  offsiteAd_ = adData;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  const std::weak_ptr<OVAdWebKitContentContainer> weakSelf = shared_from_this();
  platform::DispatchQueue::main()->async([weakSelf, html] {
    if (const auto self = weakSelf.lock()) {
      self->startPage(html->markup().value_or(""), html->activationCommand().value_or(""));
    }
  });
  return true;
}

bool OVAdWebKitContentContainer::loadAdMarkup(const std::string& markup, const std::string& activationCommand) {
  startPage(markup, activationCommand);
  return true;
}

void OVAdWebKitContentContainer::startPage(const std::string& markup, const std::string& activationCommand) {
  stopImpressionRetry();
  ++pageGeneration_;
  loggedImpression_ = false;
  firstImpressionTime_ = kNoFirstImpression;
  activationCommand_ = activationCommand;
  javascriptAdControlInitialized_ = false;
  javascriptAdControlFailed_ = false;
  pageLoaded_ = false;
  webView_->loadHTMLString(markup, OVAdSettings::getWebviewBaseURL());
}

void OVAdWebKitContentContainer::losePage() {
  stopImpressionRetry();
  ++pageGeneration_;
  javascriptAdControlInitialized_ = false;
  pageLoaded_ = false;
}

bool OVAdWebKitContentContainer::logClickWithExtraData(const platform::Value& /*extraData*/) { return false; }

// ---- The bridge ----

void OVAdWebKitContentContainer::initializeJavascriptAdControl() {
  initializeJavascriptAdControlWithRetries(kJavascriptAdControlRetries);
}

void OVAdWebKitContentContainer::initializeJavascriptAdControlWithRetries(std::int64_t retriesLeft) {
  if (javascriptAdControlInitialized_) {
    return;
  }
  const std::weak_ptr<OVAdWebKitContentContainer> weakSelf = shared_from_this();
  const std::uint64_t generation = pageGeneration_;
  // The bridge runs at the page's top level: inside the catching wrapper
  // its `var` would only be a local of the wrapper, and the page would
  // never see AdControl. A throw there is an evaluation error, which the
  // retries below handle.
  webView_->evaluateJavaScript(
      OVAdAdControlScript(),
      [weakSelf, generation, retriesLeft](platform::Value, std::optional<platform::Error> bridgeError) {
        const auto self = weakSelf.lock();
        if (!self || self->pageGeneration_ != generation) {
          return;
        }
        const bool bridgeFailed = bridgeError.has_value();
        self->webView_->evaluateJavaScript(
            OVAdWrapScriptInTryCatch(self->activationCommand_),
            [weakSelf, generation, retriesLeft, bridgeFailed](platform::Value,
                                                              std::optional<platform::Error> commandError) {
              const auto self = weakSelf.lock();
              if (!self || self->pageGeneration_ != generation) {
                return;
              }
              self->javascriptAdControlInitialized_ = !commandError.has_value();
              if (!bridgeFailed && !commandError) {
                return;
              }
              OV_LOG(kOVAdLogLevelDebug, kJavascriptInitFailedFormat, static_cast<long long>(retriesLeft));
              if (retriesLeft >= 1) {
                self->initializeJavascriptAdControlWithRetries(retriesLeft - 1);
              } else if (!self->javascriptAdControlInitialized_) {
                self->javascriptAdControlFailedForGood();
              }
            });
      });
}

void OVAdWebKitContentContainer::javascriptAdControlFailedForGood() {
  // Without a bridge the page never sends its impression: waiting on would
  // retry every tick for the life of the ad.
  javascriptAdControlFailed_ = true;
  stopImpressionRetry();
  if (const auto owner = delegate()) {
    owner->adDidFailToLoadWithError(
        OVAdError::getNSError(kOVAdErrorCodeInternalError, std::string(kOVAdJavascriptAdControlFailedDescription)));
  }
}

// ---- Impression ----

bool OVAdWebKitContentContainer::logImpression() {
  if (loggedImpression_) {
    return true;
  }
  if (!javascriptAdControlInitialized_) {
    if (!javascriptAdControlFailed_ && !(impressionRetryTimer_ && impressionRetryTimer_->isValid())) {
      scheduleImpressionRetry();
    }
    return false;
  }
  // Asked first: without a validator nothing is logged, so the page must
  // not hear of an impression nor the impression time move on each retry.
  const auto owner = delegate();
  const auto validator = owner ? owner->contentContainerViewabilityValidator() : nullptr;
  if (!validator) {
    return false;
  }
  firstImpressionTime_ = platform::Clock::current()->timeSinceReferenceDate();
  const std::weak_ptr<OVAdContentContainerDelegate> weakOwner = owner;
  webView_->evaluateJavaScript(kOVAdSendImpressionScript, [weakOwner](platform::Value, std::optional<platform::Error>) {
    platform::DispatchQueue::main()->async([weakOwner] {
      if (const auto target = weakOwner.lock()) {
        target->adWillLogImpression();
      }
    });
  });
  const std::string token = offsiteAd_ ? offsiteAd_->inlineClientToken().value_or("") : "";
  OVAdEventManager::sharedManager()->logImpressionForToken(token,
                                                           OVAdContentContainerImpressionExtraData(*this, *validator));
  loggedImpression_ = true;
  return true;
}

void OVAdWebKitContentContainer::scheduleImpressionRetry() {
  const std::weak_ptr<OVAdWebKitContentContainer> weakSelf = shared_from_this();
  impressionRetryTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      kImpressionRetryInterval, true, [weakSelf](const std::shared_ptr<OVAdTimer>& timer) {
        const auto self = weakSelf.lock();
        if (!self) {
          timer->invalidate();
          return;
        }
        if (self->logImpression()) {
          self->stopImpressionRetry();
        }
      });
}

void OVAdWebKitContentContainer::stopImpressionRetry() {
  if (impressionRetryTimer_) {
    impressionRetryTimer_->invalidate();
    impressionRetryTimer_.reset();
  }
}

// ---- Navigation ----

void OVAdWebKitContentContainer::decidePolicyForNavigationAction(platform::WebView& /*webView*/,
                                                                 const platform::WebNavigationAction& action,
                                                                 platform::WebPolicyDecisionHandler decisionHandler) {
  view_->setHidden(false);
  if (action.type != platform::WebNavigationType::LinkActivated) {
    decisionHandler(platform::WebNavigationPolicy::Allow);
    return;
  }
  const auto policy = parent();
  if (policy && policy->isModalViewPresenting()) {
    decisionHandler(platform::WebNavigationPolicy::Cancel);
    return;
  }
  if (OVAdIsPrematureClick(firstImpressionTime_)) {
    decisionHandler(platform::WebNavigationPolicy::Cancel);
    return;
  }
  const auto url = platform::URL::parse(action.url);
  if (!url || !policy) {
    // Neither opened nor handled: the ad's page stays as it is.
    decisionHandler(platform::WebNavigationPolicy::Cancel);
    return;
  }
  const bool handled = policy->processRequestURL(*url, offsiteAd_, platform::Value());
  decisionHandler(handled ? platform::WebNavigationPolicy::Cancel : platform::WebNavigationPolicy::Allow);
}

void OVAdWebKitContentContainer::didFinishNavigation(platform::WebView& /*webView*/) {
  pageLoaded_ = true;
  initializeJavascriptAdControl();
  if (const auto owner = delegate()) {
    owner->adDidLoad();
  }
  if (const auto policy = parent()) {
    policy->ensureViewabilityValidation();
  }
}

void OVAdWebKitContentContainer::didFailProvisionalNavigation(platform::WebView& /*webView*/,
                                                              const platform::Error& error) {
  // Once the ad showed, a frame or link of its page failing leaves the ad
  // as it is: it must not be hidden or reported as not loaded. A page gone
  // with its web process is another matter: nothing of the ad is left to
  // show or to count, and its bridge went with it.
  if (platform::isWebProcessTermination(error)) {
    losePage();
  } else if (pageLoaded_) {
    return;
  }
  if (const auto owner = delegate()) {
    owner->adDidFailToLoadWithError(error);
  }
}

void OVAdWebKitContentContainer::didFailNavigation(platform::WebView& webView, const platform::Error& error) {
  didFailProvisionalNavigation(webView, error);
}

// ---- Touches ----

void OVAdWebKitContentContainer::gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                   const platform::Touches& touches,
                                                                   const platform::Event& event) {
  OVAdContentContainerTouchBegan(*this, touches, event);
}

void OVAdWebKitContentContainer::gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                   const platform::Touches& touches,
                                                                   const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebKitContentContainer::gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                   const platform::Touches& touches,
                                                                   const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

void OVAdWebKitContentContainer::gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& /*recognizer*/,
                                                                       const platform::Touches& touches,
                                                                       const platform::Event& event) {
  OVAdContentContainerTouchChanged(*this, touches, event);
}

}  // namespace plexora

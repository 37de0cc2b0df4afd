#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"

#include <optional>
#include <utility>

#include "adapters/views/contentcontainer/OVAdContentContainerBridge.h"
#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdTimer.h"

namespace plexora {

// ---- OVAdWebContentContainerView ----

OVAdWebContentContainerView::OVAdWebContentContainerView(std::shared_ptr<platform::WebView> webView)
    : OVAdContentContainerPageView(webView), webView_(std::move(webView)) {}

// ---- Making ----

std::shared_ptr<OVAdWebKitContentContainer> OVAdWebKitContentContainer::initWithAdView(
    const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize, OVAdSize adSizeType) {
  std::shared_ptr<OVAdWebKitContentContainer> container(
      new OVAdWebKitContentContainer(adView, actualAdSize, adSizeType, platform::makeWebView()));
  container->webView_->setNavigationDelegate(std::weak_ptr<platform::WebViewNavigationDelegate>(container));
  container->trackTouches();
  return container;
}

OVAdWebKitContentContainer::OVAdWebKitContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                       platform::Size actualAdSize, OVAdSize adSizeType,
                                                       std::shared_ptr<platform::WebView> webView)
    : OVAdWebPageContainer(adView, actualAdSize, adSizeType, std::make_shared<OVAdWebContentContainerView>(webView)),
      webView_(std::move(webView)) {}

OVAdWebKitContentContainer::~OVAdWebKitContentContainer() { stopImpressionRetry(); }

bool OVAdWebKitContentContainer::logClickWithExtraData(const platform::Value& /*extraData*/) { return false; }

// ---- The bridge ----

void OVAdWebKitContentContainer::initializeJavascriptAdControl() {
  initializeJavascriptAdControlWithRetries(kJavascriptAdControlRetries);
}

void OVAdWebKitContentContainer::initializeJavascriptAdControlWithRetries(std::int64_t retriesLeft) {
  if (javascriptAdControlInitialized_) {
    return;
  }
  const auto weakContainer = weakSelf<OVAdWebKitContentContainer>();
  const std::uint64_t generation = pageGeneration_;
  // The bridge runs at the page's top level: inside the catching wrapper
  // its `var` would only be a local of the wrapper, and the page would
  // never see AdControl. A throw there is an evaluation error, which the
  // retries below handle.
  webView_->evaluateJavaScript(
      OVAdAdControlScript(),
      [weakContainer, generation, retriesLeft](platform::Value, std::optional<platform::Error> bridgeError) {
        const auto self = weakContainer.lock();
        if (!self || self->pageGeneration_ != generation) {
          return;
        }
        const bool bridgeFailed = bridgeError.has_value();
        self->webView_->evaluateJavaScript(
            OVAdWrapScriptInTryCatch(self->activationCommand_),
            [weakContainer, generation, retriesLeft, bridgeFailed](platform::Value,
                                                                   std::optional<platform::Error> commandError) {
              const auto self = weakContainer.lock();
              if (!self || self->pageGeneration_ != generation) {
                return;
              }
              self->javascriptAdControlInitialized_ = !commandError.has_value();
              if (!bridgeFailed && !commandError) {
                return;
              }
              logJavascriptAdControlAttemptFailed(static_cast<long long>(retriesLeft));
              if (retriesLeft >= 1) {
                self->initializeJavascriptAdControlWithRetries(retriesLeft - 1);
              } else if (!self->javascriptAdControlInitialized_) {
                self->javascriptAdControlFailedForGood();
              }
            });
      });
}

void OVAdWebKitContentContainer::javascriptAdControlFailedForGood() {
  // Waiting on would retry every tick for the life of the ad.
  stopImpressionRetry();
  reportJavascriptAdControlFailure();
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
  return logImpressionOnReadyPage();
}

void OVAdWebKitContentContainer::announceImpression(const std::shared_ptr<OVAdContentContainerDelegate>& owner) {
  const std::weak_ptr<OVAdContentContainerDelegate> weakOwner = owner;
  webView_->evaluateJavaScript(kOVAdSendImpressionScript, [weakOwner](platform::Value, std::optional<platform::Error>) {
    platform::DispatchQueue::main()->async([weakOwner] {
      if (const auto target = weakOwner.lock()) {
        target->adWillLogImpression();
      }
    });
  });
}

void OVAdWebKitContentContainer::scheduleImpressionRetry() {
  const auto weakContainer = weakSelf<OVAdWebKitContentContainer>();
  impressionRetryTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
      kImpressionRetryInterval, true, [weakContainer](const std::shared_ptr<OVAdTimer>& timer) {
        const auto self = weakContainer.lock();
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

// ---- The page ----

void OVAdWebKitContentContainer::decidePolicyForNavigationAction(platform::WebView& /*webView*/,
                                                                 const platform::WebNavigationAction& action,
                                                                 platform::WebPolicyDecisionHandler decisionHandler) {
  decisionHandler(allowsNavigation(action) ? platform::WebNavigationPolicy::Allow
                                           : platform::WebNavigationPolicy::Cancel);
}

void OVAdWebKitContentContainer::didFinishNavigation(platform::WebView& /*webView*/) { pageDidFinishLoading(); }

void OVAdWebKitContentContainer::didFailProvisionalNavigation(platform::WebView& /*webView*/,
                                                              const platform::Error& error) {
  pageDidFailToLoad(error);
}

void OVAdWebKitContentContainer::didFailNavigation(platform::WebView& /*webView*/, const platform::Error& error) {
  pageDidFailToLoad(error);
}

}  // namespace plexora

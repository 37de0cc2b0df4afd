#include "adapters/views/contentcontainer/OVAdWebContentContainer.h"

#include <utility>
#include <variant>

#include "adapters/OVHTMLAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdContentContainerBridge.h"
#include "adapters/views/contentcontainer/OVAdContentContainerClickThreshold.h"
#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdInlineHelpers.h"

namespace plexora {

namespace {

constexpr long long kNoRetries = 0;

}  // namespace

// ---- Making ----

std::shared_ptr<OVAdWebContentContainer> OVAdWebContentContainer::initWithAdView(
    const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize, OVAdSize adSizeType) {
  std::shared_ptr<OVAdWebContentContainer> container(
      new OVAdWebContentContainer(adView, actualAdSize, adSizeType, platform::makeSyncWebView()));
  container->webView_->setDelegate(std::weak_ptr<platform::SyncWebViewDelegate>(container));
  container->trackTouches();
  return container;
}

OVAdWebContentContainer::OVAdWebContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                 platform::Size actualAdSize, OVAdSize adSizeType,
                                                 std::shared_ptr<platform::SyncWebView> webView)
    : OVAdWebPageContainer(adView, actualAdSize, adSizeType, std::make_shared<OVAdContentContainerPageView>(webView)),
      webView_(std::move(webView)) {}

std::shared_ptr<OVHTMLAdDataModel> OVAdWebContentContainer::htmlDataModel() const {
  return std::dynamic_pointer_cast<OVHTMLAdDataModel>(offsiteAd_);
}

std::shared_ptr<OVHTMLAdDataModel> OVAdWebContentContainer::modelToLoad(
    const std::shared_ptr<OVHTMLAdDataModel>& /*given*/) const {
  return htmlDataModel();
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
  const auto weakContainer = weakSelf<OVAdWebContentContainer>();
  const std::uint64_t generation = pageGeneration_;
  platform::DispatchQueue::main()->async([weakContainer, generation, bridgeScript = OVAdAdControlScript()] {
    const auto self = weakContainer.lock();
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
  // One attempt only, as every attempt may hold the main thread for the
  // timeout.
  logJavascriptAdControlAttemptFailed(kNoRetries);
  reportJavascriptAdControlFailure();
}

// ---- Impression ----

bool OVAdWebContentContainer::logImpression() {
  if (!javascriptAdControlInitialized_) {
    return false;
  }
  return logImpressionOnReadyPage();
}

void OVAdWebContentContainer::announceImpression(const std::shared_ptr<OVAdContentContainerDelegate>& owner) {
  const std::weak_ptr<OVAdContentContainerDelegate> weakOwner = owner;
  const auto weakContainer = weakSelf<OVAdWebContentContainer>();
  const std::uint64_t generation = pageGeneration_;
  platform::DispatchQueue::main()->async([weakOwner, weakContainer, generation] {
    if (const auto target = weakOwner.lock()) {
      target->adWillLogImpression();
    }
    if (const auto self = weakContainer.lock()) {
      self->sendImpressionToPage(generation);
    }
  });
}

void OVAdWebContentContainer::sendImpressionToPage(std::uint64_t generation) {
  // A page loaded since has an impression of its own to come.
  if (pageGeneration_ != generation) {
    return;
  }
  webView_->evaluateJavaScript(OVAdWrapScriptInTryCatch(kOVAdSendImpressionScript), kScriptTimeout);
}

// ---- The page ----

bool OVAdWebContentContainer::shouldStartLoad(platform::SyncWebView& /*webView*/,
                                              const platform::WebNavigationAction& action) {
  return allowsNavigation(action);
}

void OVAdWebContentContainer::didFinishLoad(platform::SyncWebView& /*webView*/) { pageDidFinishLoading(); }

void OVAdWebContentContainer::didFailLoad(platform::SyncWebView& /*webView*/, const platform::Error& error) {
  pageDidFailToLoad(error);
}

}  // namespace plexora

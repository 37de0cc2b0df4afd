#include "internal/browser/OVAdWKWebViewBrowserController.h"

#include <string>

#include "internal/browser/OVAdBrowserErrorText.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kReadyStateErrorFormat = "Error encountered while checking DOM content loaded: %s";
constexpr const char* kFailedNavigationFormat = "Webview failed navigation with error: %s";
constexpr const char* kFailedNavigationUnknown = "Webview failed navigation with unknown error";
constexpr const char* kFailedProvisionalFormat = "Webview failed provisional navigation with error: %s";
constexpr const char* kFailedProvisionalUnknown = "Webview failed provisional navigation with unknown error";

}  // namespace

std::shared_ptr<platform::WebContentView> OVAdWKWebViewBrowserController::makePage() {
  webView_ = platform::makeWebView(platform::WebProcessSharing::OwnProcess);
  if (webView_) {
    webView_->setNavigationDelegate(std::static_pointer_cast<OVAdWKWebViewBrowserController>(shared_from_this()));
  }
  return webView_;
}

void OVAdWKWebViewBrowserController::clearContent() {
  if (webView_) {
    webView_->evaluateJavaScript(OVAdWrapScriptInTryCatch(kOVAdBrowserClearContentScript), nullptr);
  }
}

void OVAdWKWebViewBrowserController::decidePolicyForNavigationAction(
    platform::WebView&, const platform::WebNavigationAction& action,
    platform::WebPolicyDecisionHandler decisionHandler) {
  decisionHandler(allowsLink(action.url) ? platform::WebNavigationPolicy::Allow
                                         : platform::WebNavigationPolicy::Cancel);
}

void OVAdWKWebViewBrowserController::didStartProvisionalNavigation(platform::WebView&) { loadStarted(); }

void OVAdWKWebViewBrowserController::didFinishNavigation(platform::WebView&) { loadFinished(); }

void OVAdWKWebViewBrowserController::didFailNavigation(platform::WebView&, const platform::Error& error) {
  if (error.domain().empty()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedNavigationUnknown);
  } else {
    OV_LOG(kOVAdLogLevelWarn, kFailedNavigationFormat, OVAdBrowserErrorText(error).c_str());
  }
  loadFailed();
}

void OVAdWKWebViewBrowserController::didFailProvisionalNavigation(platform::WebView&, const platform::Error& error) {
  if (error.domain().empty()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedProvisionalUnknown);
  } else {
    OV_LOG(kOVAdLogLevelWarn, kFailedProvisionalFormat, OVAdBrowserErrorText(error).c_str());
  }
  loadFailed();
}

void OVAdWKWebViewBrowserController::checkReadyState() {
  if (!webView_) {
    return;
  }
  const std::weak_ptr<OVAdWKWebViewBrowserController> weakSelf =
      std::static_pointer_cast<OVAdWKWebViewBrowserController>(shared_from_this());
  webView_->evaluateJavaScript(
      kOVAdBrowserReadyStateScript, [weakSelf](platform::Value result, std::optional<platform::Error> error) {
        const auto self = weakSelf.lock();
        if (!self) {
          return;
        }
        if (error) {
          OV_LOG(kOVAdLogLevelError, kReadyStateErrorFormat, OVAdBrowserErrorText(*error).c_str());
          return;
        }
        if (result.isString()) {
          self->readyStateAnswered(result.asString());
        }
      });
}

}  // namespace plexora

#include "internal/browser/OVAdUIWebViewBrowserController.h"

#include <string>
#include <variant>

#include "internal/browser/OVAdBrowserErrorText.h"
#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdInlineHelpers.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kFailedLoadFormat = "Webview failed to load with error: %s";
constexpr const char* kFailedLoadUnknown = "Webview failed to load with unknown error";

}  // namespace

std::shared_ptr<platform::WebContentView> OVAdUIWebViewBrowserController::makePage() {
  webView_ = platform::makeSyncWebView(platform::WebProcessSharing::OwnProcess);
  if (webView_) {
    webView_->setDelegate(std::static_pointer_cast<OVAdUIWebViewBrowserController>(shared_from_this()));
  }
  return webView_;
}

void OVAdUIWebViewBrowserController::clearContent() {
  const std::weak_ptr<OVAdUIWebViewBrowserController> weakSelf =
      std::static_pointer_cast<OVAdUIWebViewBrowserController>(shared_from_this());
  platform::DispatchQueue::main()->async([weakSelf] {
    const auto self = weakSelf.lock();
    if (self && self->webView_) {
      self->webView_->evaluateJavaScript(OVAdWrapScriptInTryCatch(kOVAdBrowserClearContentScript), kScriptTimeout);
    }
  });
}

bool OVAdUIWebViewBrowserController::shouldStartLoad(platform::SyncWebView&,
                                                     const platform::WebNavigationAction& action) {
  return allowsLink(action.url);
}

void OVAdUIWebViewBrowserController::didStartLoad(platform::SyncWebView&) { loadStarted(); }

void OVAdUIWebViewBrowserController::didFinishLoad(platform::SyncWebView&) { loadFinished(); }

void OVAdUIWebViewBrowserController::didFailLoad(platform::SyncWebView&, const platform::Error& error) {
  if (error.domain().empty()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedLoadUnknown);
  } else {
    OV_LOG(kOVAdLogLevelWarn, kFailedLoadFormat, OVAdBrowserErrorText(error).c_str());
  }
  loadFailed();
}

void OVAdUIWebViewBrowserController::checkReadyState() {
  if (!webView_) {
    return;
  }
  // A page that does not answer is simply not complete yet: the poll asks
  // again on its next tick.
  const platform::SyncWebView::JavaScriptAnswer answer =
      webView_->evaluateJavaScript(kOVAdBrowserReadyStateScript, kScriptTimeout);
  if (const auto* value = std::get_if<platform::Value>(&answer); value && value->isString()) {
    readyStateAnswered(value->asString());
  }
}

}  // namespace plexora

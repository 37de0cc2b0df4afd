#include "platform/web/WebViewMaker.h"

#include <utility>

#include "platform/web/WebViewMakerDefaults.h"

namespace plexora::platform {

namespace {

struct Makers {
  WebViewMakerFunction webView = detail::makeEngineWebView;
  SyncWebViewMakerFunction syncWebView = detail::makeEngineSyncWebView;
};

Makers& makers() {
  // Never destroyed: views may be made while the process exits.
  static Makers* const instance = new Makers;
  return *instance;
}

}  // namespace

std::shared_ptr<WebView> makeWebView() { return makers().webView(); }
std::shared_ptr<SyncWebView> makeSyncWebView() { return makers().syncWebView(); }

ScopedWebViewMaker::ScopedWebViewMaker(WebViewMakerFunction makeWebView, SyncWebViewMakerFunction makeSyncWebView)
    : previousWebViewMaker_(makers().webView), previousSyncWebViewMaker_(makers().syncWebView) {
  if (makeWebView) {
    makers().webView = std::move(makeWebView);
  }
  if (makeSyncWebView) {
    makers().syncWebView = std::move(makeSyncWebView);
  }
}

ScopedWebViewMaker::~ScopedWebViewMaker() {
  makers().webView = std::move(previousWebViewMaker_);
  makers().syncWebView = std::move(previousSyncWebViewMaker_);
}

}  // namespace plexora::platform

#include "platform/web/WebViewMaker.h"

#include <functional>
#include <memory>
#include <utility>

#include "platform/web/WebViewMakerDefaults.h"

namespace plexora::platform {

namespace {

using SharingWebViewMaker = std::function<std::shared_ptr<WebView>(WebProcessSharing)>;
using SharingSyncWebViewMaker = std::function<std::shared_ptr<SyncWebView>(WebProcessSharing)>;

struct Makers {
  SharingWebViewMaker webView = detail::makeEngineWebView;
  SharingSyncWebViewMaker syncWebView = detail::makeEngineSyncWebView;
};

Makers& makers() {
  // Never destroyed: views may be made while the process exits.
  static Makers* const instance = new Makers;
  return *instance;
}

}  // namespace

std::shared_ptr<WebView> makeWebView(WebProcessSharing sharing) { return makers().webView(sharing); }
std::shared_ptr<SyncWebView> makeSyncWebView(WebProcessSharing sharing) { return makers().syncWebView(sharing); }

struct ScopedWebViewMaker::Previous {
  SharingWebViewMaker webView;
  SharingSyncWebViewMaker syncWebView;
};

ScopedWebViewMaker::ScopedWebViewMaker(WebViewMakerFunction makeWebView, SyncWebViewMakerFunction makeSyncWebView)
    : previous_(std::make_unique<Previous>(Previous{makers().webView, makers().syncWebView})) {
  if (makeWebView) {
    makers().webView = [make = std::move(makeWebView)](WebProcessSharing) { return make(); };
  }
  if (makeSyncWebView) {
    makers().syncWebView = [make = std::move(makeSyncWebView)](WebProcessSharing) { return make(); };
  }
}

ScopedWebViewMaker::~ScopedWebViewMaker() {
  makers().webView = std::move(previous_->webView);
  makers().syncWebView = std::move(previous_->syncWebView);
}

}  // namespace plexora::platform

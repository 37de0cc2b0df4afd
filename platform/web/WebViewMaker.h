// Where makeWebView() and makeSyncWebView() get their views: the engine's,
// or for tests a double, installed for a scope. A double serves views of
// either process sharing alike.
//
// Thread safety: main thread only.
// Ownership: a ScopedWebViewMaker puts back the makers it replaced.
#pragma once

#include <functional>
#include <memory>

#include "platform/web/SyncWebView.h"
#include "platform/web/WebView.h"

namespace plexora::platform {

using WebViewMakerFunction = std::function<std::shared_ptr<WebView>()>;
using SyncWebViewMakerFunction = std::function<std::shared_ptr<SyncWebView>()>;

class ScopedWebViewMaker final {
 public:
  // An empty function keeps that flavour's current maker.
  explicit ScopedWebViewMaker(WebViewMakerFunction makeWebView, SyncWebViewMakerFunction makeSyncWebView = {});
  ~ScopedWebViewMaker();
  ScopedWebViewMaker(const ScopedWebViewMaker&) = delete;
  ScopedWebViewMaker& operator=(const ScopedWebViewMaker&) = delete;

 private:
  struct Previous;
  std::unique_ptr<Previous> previous_;
};

}  // namespace plexora::platform

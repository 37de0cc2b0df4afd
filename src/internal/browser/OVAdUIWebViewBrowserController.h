// The library's own full-screen browser on the synchronous web view (see
// OVAdBrowserViewController for what both browsers share): the page's ready
// state is read from the call, and the controller answers at once whether a
// navigation may load.
//
// Thread safety: main thread only.
// Ownership: as OVAdBrowserViewController.
#pragma once

#include <memory>

#include "internal/browser/OVAdBrowserViewController.h"
#include "platform/web/SyncWebView.h"

namespace plexora {

class OVAdUIWebViewBrowserController final : public OVAdBrowserViewController,
                                             public platform::SyncWebViewDelegate {
 public:
  // Seconds a script of the browser may hold the main thread.
  static constexpr double kScriptTimeout = 0.5;

  OVAdUIWebViewBrowserController() = default;

  // Empties the page on the next turn of the main queue.
  void clearContent() override;

  // ---- SyncWebViewDelegate
  bool shouldStartLoad(platform::SyncWebView& webView, const platform::WebNavigationAction& action) override;
  void didStartLoad(platform::SyncWebView& webView) override;
  void didFinishLoad(platform::SyncWebView& webView) override;
  void didFailLoad(platform::SyncWebView& webView, const platform::Error& error) override;

  // The page's web view (after the view loaded).
  const std::shared_ptr<platform::SyncWebView>& webView() const { return webView_; }

 private:
  std::shared_ptr<platform::WebContentView> makePage() override;
  void checkReadyState() override;

  std::shared_ptr<platform::SyncWebView> webView_;
};

}  // namespace plexora

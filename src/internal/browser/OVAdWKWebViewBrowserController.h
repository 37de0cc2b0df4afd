// The library's own full-screen browser on the asynchronous web view (see
// OVAdBrowserViewController for what both browsers share): the page's
// scripts answer later, and each navigation waits for this controller's
// decision.
//
// Thread safety: main thread only.
// Ownership: as OVAdBrowserViewController.
#pragma once

#include <memory>

#include "internal/browser/OVAdBrowserViewController.h"
#include "platform/web/WebView.h"

namespace plexora {

class OVAdWKWebViewBrowserController final : public OVAdBrowserViewController,
                                             public platform::WebViewNavigationDelegate {
 public:
  OVAdWKWebViewBrowserController() = default;

  void clearContent() override;

  // ---- WebViewNavigationDelegate
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::WebNavigationAction& action,
                                       platform::WebPolicyDecisionHandler decisionHandler) override;
  void didStartProvisionalNavigation(platform::WebView& webView) override;
  void didFinishNavigation(platform::WebView& webView) override;
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
  void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;

  // The page's web view (after the view loaded).
  const std::shared_ptr<platform::WebView>& webView() const { return webView_; }

 private:
  std::shared_ptr<platform::WebContentView> makePage() override;
  void checkReadyState() override;

  std::shared_ptr<platform::WebView> webView_;
};

}  // namespace plexora

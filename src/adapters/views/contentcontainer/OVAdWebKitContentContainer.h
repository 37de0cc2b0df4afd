// The HTML ad's container on the platform's asynchronous web view: loads the
// markup, sets up the page's AdControl bridge and the ad's activation
// command, records the user's touches, sends every tapped link to the
// parent and logs the impression once the owner's validator asks for it.
//
// The container's view is an OVAdWebContentContainerView, which also hands
// out the page's last drawn frame.
//
// Thread safety: main thread only.
// Ownership: the owner holds the container; the container owns its web
// view and view, holds its data model strongly and its delegate and parent
// weakly. The impression retry timer and the script completions hold the
// container weakly, so a dropped container stops retrying.
#pragma once

#include <cstdint>
#include <memory>

#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"
#include "adapters/views/contentcontainer/OVAdWebPageContainer.h"
#include "platform/web/WebView.h"

namespace plexora {

class OVAdTimer;

// The view that stands for the page in the owner's view tree.
class OVAdWebContentContainerView final : public OVAdContentContainerPageView {
 public:
  explicit OVAdWebContentContainerView(std::shared_ptr<platform::WebView> webView);

  const std::shared_ptr<platform::WebView>& webView() const { return webView_; }

 private:
  std::shared_ptr<platform::WebView> webView_;
};

class OVAdWebKitContentContainer final : public OVAdWebPageContainer, public platform::WebViewNavigationDelegate {
 public:
  // Bridge set-up attempts after the first.
  static constexpr std::int64_t kJavascriptAdControlRetries = 25;
  // Seconds between impression attempts while the bridge is being set up.
  static constexpr double kImpressionRetryInterval = 0.1;

  // A hidden page for `adView`'s ad, on a new web view (makeWebView()).
  static std::shared_ptr<OVAdWebKitContentContainer> initWithAdView(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                                    platform::Size actualAdSize, OVAdSize adSizeType);
  ~OVAdWebKitContentContainer() override;

  // ---- OVAdContentContainer ----
  // Does nothing; the page's own links are its clicks.
  bool logClickWithExtraData(const platform::Value& extraData) override;
  void initializeJavascriptAdControl() override;
  // Once the bridge is up and the owner has a validator: calls the page's
  // impression function, tells the owner and logs the "impression" event.
  // While the bridge is being set up it answers false and retries every
  // kImpressionRetryInterval; after the bridge failed for good, false.
  bool logImpression() override;

  // ---- The page (platform::WebViewNavigationDelegate) ----
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::WebNavigationAction& action,
                                       platform::WebPolicyDecisionHandler decisionHandler) override;
  void didFinishNavigation(platform::WebView& webView) override;
  void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;

  // The web view the page runs in.
  std::shared_ptr<platform::WebView> webView() const { return webView_; }

 private:
  OVAdWebKitContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                             OVAdSize adSizeType, std::shared_ptr<platform::WebView> webView);

  platform::WebContentView& page() override { return *webView_; }
  void resetPage() override { stopImpressionRetry(); }
  void announceImpression(const std::shared_ptr<OVAdContentContainerDelegate>& owner) override;
  void initializeJavascriptAdControlWithRetries(std::int64_t retriesLeft);
  void javascriptAdControlFailedForGood();
  void scheduleImpressionRetry();
  void stopImpressionRetry();

  std::shared_ptr<platform::WebView> webView_;
  std::shared_ptr<OVAdTimer> impressionRetryTimer_;
};

}  // namespace plexora

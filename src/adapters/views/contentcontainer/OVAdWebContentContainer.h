// The HTML ad's container on the platform's synchronous web view, the twin
// of OVAdWebKitContentContainer: the same load sequence, touch record,
// impression data and link handling (OVAdWebPageContainer), with the page's
// scripts answered from the call.
//
// The bridge is set up on the next turn of the main queue once the page has
// loaded, in one attempt; it counts as set up only once both its scripts
// ran. Until then an impression is refused (the owner's validator asks
// again later). Every page script may take at most kScriptTimeout on the
// main thread, so a page that never answers cannot hold up the main loop
// for longer; a bridge that fails is reported to the owner as a load
// failure.
//
// Thread safety: main thread only.
// Ownership: the owner holds the container; the container owns its web
// view and view, holds its data model strongly and its delegate and parent
// weakly. Queued work holds the container weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/views/contentcontainer/OVAdWebPageContainer.h"
#include "platform/web/SyncWebView.h"

namespace plexora {

class OVHTMLAdDataModel;

class OVAdWebContentContainer final : public OVAdWebPageContainer, public platform::SyncWebViewDelegate {
 public:
  // Seconds a page script may run before it counts as failed.
  static constexpr double kScriptTimeout = 1.0;

  // A hidden page for `adView`'s ad, on a new synchronous web view
  // (makeSyncWebView()).
  static std::shared_ptr<OVAdWebContentContainer> initWithAdView(
      const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize, OVAdSize adSizeType);

  // offsiteAd as an HTML model; null for none.
  std::shared_ptr<OVHTMLAdDataModel> htmlDataModel() const;

  // ---- OVAdContentContainer ----
  // Warns of a click within the clickability threshold after the
  // impression; the answer is always false.
  bool logClickWithExtraData(const platform::Value& extraData) override;
  // Queues the bridge's set-up unless it is set up, queued or failed.
  void initializeJavascriptAdControl() override;
  // Once the bridge is up and the owner has a validator: logs the
  // "impression" event and, on the next turn of the main queue, tells the
  // owner and calls the page's impression function. False before.
  bool logImpression() override;

  // ---- The page (platform::SyncWebViewDelegate) ----
  bool shouldStartLoad(platform::SyncWebView& webView, const platform::WebNavigationAction& action) override;
  void didFinishLoad(platform::SyncWebView& webView) override;
  void didFailLoad(platform::SyncWebView& webView, const platform::Error& error) override;

  // The web view the page runs in.
  std::shared_ptr<platform::SyncWebView> webView() const { return webView_; }

 private:
  OVAdWebContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                          OVAdSize adSizeType, std::shared_ptr<platform::SyncWebView> webView);

  platform::WebContentView& page() override { return *webView_; }
  void resetPage() override { javascriptAdControlQueued_ = false; }
  // The model held when the queued load runs.
  std::shared_ptr<OVHTMLAdDataModel> modelToLoad(const std::shared_ptr<OVHTMLAdDataModel>& given) const override;
  void announceImpression(const std::shared_ptr<OVAdContentContainerDelegate>& owner) override;
  void setUpJavascriptAdControl(const std::string& bridgeScript);
  void sendImpressionToPage(std::uint64_t generation);

  std::shared_ptr<platform::SyncWebView> webView_;
  // The set-up is queued: a second finished load queues no second one.
  bool javascriptAdControlQueued_ = false;
};

}  // namespace plexora

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
#include <string>

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"
#include "platform/ui/View.h"
#include "platform/web/WebView.h"
#include "util/OVAdTouchGestureRecognizer.h"

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

class OVAdWebKitContentContainer final : public OVAdContentContainer,
                                         public platform::WebViewNavigationDelegate,
                                         public OVAdTouchGestureRecognizerDelegate,
                                         public std::enable_shared_from_this<OVAdWebKitContentContainer> {
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
  void setFrame(platform::Rect frame) override;
  // Loads an HTML model's markup on the next turn of the main queue. Any
  // other model is refused: not kept, nothing loaded, false.
  bool loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t minViewability) override;
  // Does nothing; the page's own links are its clicks.
  bool logClickWithExtraData(const platform::Value& extraData) override;
  bool loadAdMarkup(const std::string& markup, const std::string& activationCommand) override;
  void initializeJavascriptAdControl() override;
  // Once the bridge is up and the owner has a validator: calls the page's
  // impression function, tells the owner and logs the "impression" event.
  // While the bridge is being set up it answers false and retries every
  // kImpressionRetryInterval; after the bridge failed for good, false.
  bool logImpression() override;
  std::shared_ptr<platform::View> getView() const override;

  std::shared_ptr<OVAdContentContainerDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdContentContainerDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<OVAdViewNavigationPolicy> parent() const override { return parent_.lock(); }
  void setParent(std::weak_ptr<OVAdViewNavigationPolicy> parent) override { parent_ = std::move(parent); }
  platform::Size actualAdSize() const override { return actualAdSize_; }
  void setActualAdSize(platform::Size size) override { actualAdSize_ = size; }
  OVAdSize adSizeType() const override { return adSizeType_; }
  void setAdSizeType(OVAdSize adSizeType) override { adSizeType_ = adSizeType; }
  std::shared_ptr<OVAdDataModel> offsiteAd() const override { return offsiteAd_; }
  void setOffsiteAd(std::shared_ptr<OVAdDataModel> dataModel) override { offsiteAd_ = std::move(dataModel); }
  platform::Size minimumSize() const override { return minimumSize_; }
  void setMinimumSize(platform::Size size) override { minimumSize_ = size; }
  platform::Size maximumSize() const override { return maximumSize_; }
  void setMaximumSize(platform::Size size) override { maximumSize_ = size; }
  platform::Point lastTouchStartLocation() const override { return lastTouchStartLocation_; }
  void setLastTouchStartLocation(platform::Point location) override { lastTouchStartLocation_ = location; }
  platform::Point lastTouchCurrentLocation() const override { return lastTouchCurrentLocation_; }
  void setLastTouchCurrentLocation(platform::Point location) override { lastTouchCurrentLocation_ = location; }
  double lastTouchStartTimestamp() const override { return lastTouchStartTimestamp_; }
  void setLastTouchStartTimestamp(double timestamp) override { lastTouchStartTimestamp_ = timestamp; }
  double lastTouchCurrentTimestamp() const override { return lastTouchCurrentTimestamp_; }
  void setLastTouchCurrentTimestamp(double timestamp) override { lastTouchCurrentTimestamp_ = timestamp; }
  double lastTouchRadius() const override { return lastTouchRadius_; }
  void setLastTouchRadius(double radius) override { lastTouchRadius_ = radius; }
  double lastTouchPressure() const override { return lastTouchPressure_; }
  void setLastTouchPressure(double pressure) override { lastTouchPressure_ = pressure; }
  bool hasLoggedImpression() const override { return loggedImpression_; }
  void setLoggedImpression(bool logged) override { loggedImpression_ = logged; }
  double firstImpressionTime() const override { return firstImpressionTime_; }
  void setFirstImpressionTime(double time) override { firstImpressionTime_ = time; }

  // ---- The page (platform::WebViewNavigationDelegate) ----
  void decidePolicyForNavigationAction(platform::WebView& webView, const platform::WebNavigationAction& action,
                                       platform::WebPolicyDecisionHandler decisionHandler) override;
  void didFinishNavigation(platform::WebView& webView) override;
  void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;

  // ---- Touches (OVAdTouchGestureRecognizerDelegate) ----
  void gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& recognizer,
                                             const platform::Touches& touches, const platform::Event& event) override;

  // The web view the page runs in.
  std::shared_ptr<platform::WebView> webView() const { return webView_; }
  bool isJavascriptAdControlInitialized() const { return javascriptAdControlInitialized_; }

 private:
  OVAdWebKitContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                             OVAdSize adSizeType);

  // Resets the per-page state and loads the markup.
  void startPage(const std::string& markup, const std::string& activationCommand);
  // The page went with its web process: its bridge and load are gone too.
  void losePage();
  void initializeJavascriptAdControlWithRetries(std::int64_t retriesLeft);
  void javascriptAdControlFailedForGood();
  void scheduleImpressionRetry();
  void stopImpressionRetry();

  std::weak_ptr<OVAdContentContainerDelegate> delegate_;
  std::weak_ptr<OVAdViewNavigationPolicy> parent_;
  platform::Size actualAdSize_;
  OVAdSize adSizeType_;
  std::shared_ptr<OVAdDataModel> offsiteAd_;
  platform::Size minimumSize_;
  platform::Size maximumSize_;
  platform::Point lastTouchStartLocation_;
  platform::Point lastTouchCurrentLocation_;
  double lastTouchStartTimestamp_ = 0.0;
  double lastTouchCurrentTimestamp_ = 0.0;
  double lastTouchRadius_ = 0.0;
  double lastTouchPressure_ = 0.0;
  bool loggedImpression_ = false;
  double firstImpressionTime_ = -1.0;

  std::shared_ptr<platform::WebView> webView_;
  std::shared_ptr<OVAdWebContentContainerView> view_;
  std::shared_ptr<OVAdTouchGestureRecognizer> touchRecognizer_;
  std::string activationCommand_;
  bool javascriptAdControlInitialized_ = false;
  // The bridge's last attempt failed: impressions of this page stop waiting.
  bool javascriptAdControlFailed_ = false;
  // The page finished loading: later page failures are not load failures.
  bool pageLoaded_ = false;
  // Counts loads, so the answers of an old page's scripts are told apart.
  std::uint64_t pageGeneration_ = 0;
  std::shared_ptr<OVAdTimer> impressionRetryTimer_;
};

}  // namespace plexora

// The HTML ad's container on the platform's synchronous web view, the twin
// of OVAdWebKitContentContainer: the same load sequence, touch record,
// impression data and link handling, with the page's scripts answered from
// the call.
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

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"
#include "platform/web/SyncWebView.h"
#include "util/OVAdTouchGestureRecognizer.h"

namespace plexora {

class OVHTMLAdDataModel;

class OVAdWebContentContainer final : public OVAdContentContainer,
                                      public platform::SyncWebViewDelegate,
                                      public OVAdTouchGestureRecognizerDelegate,
                                      public std::enable_shared_from_this<OVAdWebContentContainer> {
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
  void setFrame(platform::Rect frame) override;
  // Loads an HTML model's markup on the next turn of the main queue. Any
  // other model is refused: not kept, nothing loaded, false.
  bool loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t minViewability) override;
  // Warns of a click within the clickability threshold after the
  // impression; the answer is always false.
  bool logClickWithExtraData(const platform::Value& extraData) override;
  bool loadAdMarkup(const std::string& markup, const std::string& activationCommand) override;
  // Queues the bridge's set-up unless it is set up, queued or failed.
  void initializeJavascriptAdControl() override;
  // Once the bridge is up and the owner has a validator: logs the
  // "impression" event and, on the next turn of the main queue, tells the
  // owner and calls the page's impression function. False before.
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

  // ---- The page (platform::SyncWebViewDelegate) ----
  bool shouldStartLoad(platform::SyncWebView& webView, const platform::WebNavigationAction& action) override;
  void didFinishLoad(platform::SyncWebView& webView) override;
  void didFailLoad(platform::SyncWebView& webView, const platform::Error& error) override;

  // ---- Touches (OVAdTouchGestureRecognizerDelegate) ----
  void gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                             const platform::Event& event) override;

  // The web view the page runs in.
  std::shared_ptr<platform::SyncWebView> webView() const { return webView_; }
  bool isJavascriptAdControlInitialized() const { return javascriptAdControlInitialized_; }

 private:
  OVAdWebContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                          OVAdSize adSizeType);

  // Resets the per-page state and loads the markup.
  void startPage(const std::string& markup, const std::string& activationCommand);
  // The page went with its web process: its bridge and load are gone too.
  void losePage();
  void setUpJavascriptAdControl(const std::string& bridgeScript);
  void sendImpressionToPage(std::uint64_t generation);

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

  std::shared_ptr<platform::SyncWebView> webView_;
  std::shared_ptr<OVAdContentContainerPageView> view_;
  std::shared_ptr<OVAdTouchGestureRecognizer> touchRecognizer_;
  std::string activationCommand_;
  bool javascriptAdControlInitialized_ = false;
  // The set-up is queued: a second finished load queues no second one.
  bool javascriptAdControlQueued_ = false;
  // The set-up failed for this page: it is not tried again, so a broken
  // page stalls the main thread once at most.
  bool javascriptAdControlFailed_ = false;
  // The page finished loading: later page failures are not load failures.
  bool pageLoaded_ = false;
  // Counts loads, so work queued for an old page is told apart.
  std::uint64_t pageGeneration_ = 0;
};

}  // namespace plexora

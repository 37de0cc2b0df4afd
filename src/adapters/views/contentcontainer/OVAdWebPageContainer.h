// What both web view containers do alike with the ad's page: the load of a
// model or raw markup on a fresh page state, the link decisions, the end of
// the page's load (bridge set-up, then the owner and the parent told), load
// failures before the page loaded, the page lost with its web process, the
// touch record, and the impression once the page is ready. Each container
// adds how it talks to its kind of web view: the bridge's set-up and the
// impression's call on the page.
//
// Thread safety: main thread only.
// Ownership: the owner holds the container; the container owns its view and
// touch recogniser (the subclass its web view). Queued work holds the
// container weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/views/contentcontainer/OVAdContentContainerFields.h"
#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"
#include "platform/web/WebContentView.h"
#include "platform/web/WebNavigation.h"
#include "util/OVAdTouchGestureRecognizer.h"

namespace plexora {

class OVHTMLAdDataModel;

class OVAdWebPageContainer : public OVAdContentContainerFields,
                             public OVAdTouchGestureRecognizerDelegate,
                             public std::enable_shared_from_this<OVAdWebPageContainer> {
 public:
  // ---- OVAdContentContainer ----
  void setFrame(platform::Rect frame) override;
  // Loads an HTML model's markup on the next turn of the main queue. Any
  // other model is refused: not kept, nothing loaded, false.
  bool loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t minViewability) override;
  bool loadAdMarkup(const std::string& markup, const std::string& activationCommand) override;
  std::shared_ptr<platform::View> getView() const override;

  // ---- Touches (OVAdTouchGestureRecognizerDelegate) ----
  void gestureRecognizerBeganWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerMovedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerEndedWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                         const platform::Event& event) override;
  void gestureRecognizerCancelledWithTouches(OVAdTouchGestureRecognizer& recognizer, const platform::Touches& touches,
                                             const platform::Event& event) override;

  bool isJavascriptAdControlInitialized() const { return javascriptAdControlInitialized_; }

 protected:
  // `view` stands for the page; hidden until the page's first navigation.
  OVAdWebPageContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                       OVAdSize adSizeType, std::shared_ptr<OVAdContentContainerPageView> view);

  // Once the container is owned by a shared_ptr.
  void trackTouches();
  template <class Container>
  std::weak_ptr<Container> weakSelf() {
    return std::static_pointer_cast<Container>(shared_from_this());
  }

  // Whether the page may follow a navigation: every one but a link the user
  // activated, which goes to the parent unless a modal view is up or it
  // comes too soon after the impression. A link the parent handled is not
  // loaded.
  bool allowsNavigation(const platform::WebNavigationAction& action);
  // Sets up the bridge, then tells the owner and asks the parent to
  // validate viewability.
  void pageDidFinishLoading();
  // Only a failure before the page loaded is a load failure, or the page
  // lost with its web process, whenever that happens.
  void pageDidFailToLoad(const platform::Error& error);

  // For a page whose bridge is ready: unless already logged, logs the
  // "impression" event once the owner has a validator, after
  // announceImpression(). False without a validator.
  bool logImpressionOnReadyPage();
  static void logJavascriptAdControlAttemptFailed(long long retriesLeft);
  // Without a bridge the page never sends its impression: impressions of
  // this page stop waiting and the owner hears of a load failure.
  void reportJavascriptAdControlFailure();

  std::string activationCommand_;
  bool javascriptAdControlInitialized_ = false;
  // The bridge failed for good for this page.
  bool javascriptAdControlFailed_ = false;
  // Counts loads, so work queued for an old page is told apart.
  std::uint64_t pageGeneration_ = 0;

 private:
  virtual platform::WebContentView& page() = 0;
  // The subclass's own per-page state, reset before each load and when
  // the page is lost.
  virtual void resetPage() = 0;
  // The model a queued load shows, given the one loadAdData() was handed.
  virtual std::shared_ptr<OVHTMLAdDataModel> modelToLoad(const std::shared_ptr<OVHTMLAdDataModel>& given) const {
    return given;
  }
  // Calls the page's impression function and tells `owner` it is logged.
  virtual void announceImpression(const std::shared_ptr<OVAdContentContainerDelegate>& owner) = 0;

  // Resets the per-page state and loads the markup.
  void startPage(const std::string& markup, const std::string& activationCommand);
  // The page went with its web process: its bridge and load are gone too.
  void losePage();

  std::shared_ptr<OVAdContentContainerPageView> view_;
  std::shared_ptr<OVAdTouchGestureRecognizer> touchRecognizer_;
  // The page finished loading: later page failures are not load failures.
  bool pageLoaded_ = false;
};

}  // namespace plexora

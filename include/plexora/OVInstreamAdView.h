// An in-stream video ad: a view the host places in its own layout, for
// example over a pause of its own video. The host loads it once, starts it
// once it has loaded, and hears through OVInstreamAdViewDelegate when the
// ad loaded, was seen, was clicked, ended or failed. The ad's video fills
// the view while it plays and is taken away when it ends or fails; a new
// ad needs a new view.
//
//   auto ad = OVInstreamAdView::initWithPlacementID("123_456");
//   ad->setDelegate(myDelegate);
//   ad->setFrame({{0, 0}, {375, 211}});
//   container->addSubview(ad);
//   ad->loadAd();
//   // in adViewDidLoad:
//   ad->showAdFromRootViewController(rootViewController);
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, initWithPlacementID, initWithFrame, loadAd,
// showAdFromRootViewController and setDelegate from another thread end the
// process at once, naming the call.
// Ownership: the host owns the view; the view owns its ad controller (and
// through it the ad) and the ad's view while it is shown, and holds its
// delegate weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace plexora::platform {
class ViewController;
}

namespace plexora {

class OVDisplayAdController;
class OVInstreamAdView;
class OVInstreamAdViewControllerEvents;

inline constexpr const char* kOVInstreamAdViewNilPlacementReason = "placementID cannot be nil";
inline constexpr const char* kOVInstreamAdViewAlreadyLoadedMessage = "Ad already loaded, ignoring";

// Every message is optional.
class PLEXORA_EXPORT OVInstreamAdViewDelegate {
 public:
  virtual ~OVInstreamAdViewDelegate() = default;

  // The ad is ready: showAdFromRootViewController may start it.
  virtual void adViewDidLoad(const std::shared_ptr<OVInstreamAdView>& /*adView*/) {}
  // The ad played to its end or was skipped; its video is gone. An ad ends
  // or fails once: after either, neither comes again.
  virtual void adViewDidEnd(const std::shared_ptr<OVInstreamAdView>& /*adView*/) {}
  // didFailWithError: no ad could be loaded or shown, or its video failed;
  // its video is gone.
  virtual void adView(const std::shared_ptr<OVInstreamAdView>& /*adView*/, const platform::Error& /*error*/) {}
  // The ad was seen and its impression is being logged.
  virtual void adViewWillLogImpression(const std::shared_ptr<OVInstreamAdView>& /*adView*/) {}
  // The user clicked the ad.
  virtual void adViewDidClick(const std::shared_ptr<OVInstreamAdView>& /*adView*/) {}
};

class PLEXORA_EXPORT OVInstreamAdView final : public platform::View {
 public:
  // A view of zero size for the placement, clipping to its bounds. Throws
  // platform::Exception (kInvalidArgumentException,
  // kOVInstreamAdViewNilPlacementReason) without a placement identifier.
  static std::shared_ptr<OVInstreamAdView> initWithPlacementID(const std::optional<std::string>& placementID);
  // A view for the empty placement; the frame is not used.
  static std::shared_ptr<OVInstreamAdView> initWithFrame(platform::Rect frame);

  ~OVInstreamAdView() override;

  // Requests the placement; a view loads once (a later call only logs
  // kOVInstreamAdViewAlreadyLoadedMessage).
  void loadAd();
  // Starts the loaded ad from the view controller (which may be none) and
  // answers whether it started: false before the ad loaded, after it ended
  // or failed, and for every call after the first.
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController);
  // Whether an ad is loaded and has not ended or failed.
  bool isAdValid() const { return loaded_; }
  bool isLoaded() const { return loaded_; }
  bool isStarted() const { return started_; }

  const std::string& placementID() const { return placementID_; }
  std::shared_ptr<OVInstreamAdViewDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive.
  void setDelegate(std::weak_ptr<OVInstreamAdViewDelegate> delegate) {
    platform::requireMainThread("OVInstreamAdView::setDelegate");
    delegate_ = std::move(delegate);
  }
  // The ad's view, a subview filling this view while the ad is shown.
  const std::shared_ptr<platform::View>& instreamVideoAdView() const { return instreamVideoAdView_; }
  // None before the first load.
  const std::shared_ptr<OVDisplayAdController>& adController() const { return adController_; }

 private:
  friend class OVInstreamAdViewControllerEvents;

  explicit OVInstreamAdView(std::string placementID);
  std::shared_ptr<OVInstreamAdView> sharedInstreamAdView() {
    return std::static_pointer_cast<OVInstreamAdView>(sharedView());
  }
  void removeAdView();
  // Takes the ad away; whether this is its first end or failure.
  bool finish();

  // What the ad controller reports.
  void displayAdControllerLoaded();
  void displayAdControllerStopped();
  void displayAdControllerFailed(const platform::Error& error);
  void displayAdControllerPresentedView(const std::shared_ptr<platform::View>& view);
  void displayAdControllerImpression();
  void displayAdControllerClickThru();

  std::string placementID_;
  std::weak_ptr<OVInstreamAdViewDelegate> delegate_;
  std::shared_ptr<OVDisplayAdController> adController_;
  // Receives the controller's reports for the view.
  std::shared_ptr<OVInstreamAdViewControllerEvents> controllerEvents_;
  std::shared_ptr<platform::View> instreamVideoAdView_;
  bool loaded_ = false;
  bool started_ = false;
  // The ad ended or failed: nothing more of it reaches the delegate.
  bool finished_ = false;
};

}  // namespace plexora

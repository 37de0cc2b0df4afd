// The banner: a view the host places in its layout for one placement. The
// first loadAd() requests the placement and shows whatever ad comes back;
// later calls, and the server's refresh interval, replace it with the next
// ad. What happens reaches the host through OVAdViewDelegate.
//
//   auto banner = OVAdView::initWithPlacementID("123_456", kOVAdSize320x50, rootViewController);
//   banner->setDelegate(myDelegate);
//   container->addSubview(banner);
//   banner->loadAd();
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, initWithPlacementID, initWithFrame, loadAd,
// doLoadAd, disableAutoRefresh and setDelegate from another thread end the
// process at once, naming the call.
// Ownership: the host owns the banner; the banner owns its ad controller
// and holds its delegate, its root view controller and the ad view it
// shows weakly (the ad view belongs to the adapter that made it).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"
#include "plexora/OVAdSize.h"

namespace plexora::platform {
class ViewController;
}

namespace plexora {

class OVAdView;
class OVAdViewControllerProxy;
class OVAdViewControllerEvents;
class OVDisplayAdController;

inline constexpr const char* kOVAdViewNilPlacementReason = "placementID cannot be nil";

// Every message is optional.
class PLEXORA_EXPORT OVAdViewDelegate {
 public:
  virtual ~OVAdViewDelegate() = default;

  // The user clicked the ad.
  virtual void adViewDidClick(const std::shared_ptr<OVAdView>& /*adView*/) {}
  // What the click opened (browser, store page) was closed again.
  virtual void adViewDidFinishHandlingClick(const std::shared_ptr<OVAdView>& /*adView*/) {}
  // An ad is in the banner: the first one and each refresh.
  virtual void adViewDidLoad(const std::shared_ptr<OVAdView>& /*adView*/) {}
  // didFailWithError: no ad could be loaded, or the ad shown failed.
  virtual void adView(const std::shared_ptr<OVAdView>& /*adView*/, const platform::Error& /*error*/) {}
  // The ad was seen and its impression is being logged.
  virtual void adViewWillLogImpression(const std::shared_ptr<OVAdView>& /*adView*/) {}
  // The controller to present browsers and store pages from; none leaves
  // it to the root view controller given at creation.
  virtual std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() { return nullptr; }
};

class PLEXORA_EXPORT OVAdView : public platform::View {
 public:
  // A banner of `adSize` for the placement, presenting from
  // `rootViewController` (which may be none). Throws platform::Exception
  // (kInvalidArgumentException, kOVAdViewNilPlacementReason) without a
  // placement identifier.
  static std::shared_ptr<OVAdView> initWithPlacementID(const std::optional<std::string>& placementID, OVAdSize adSize,
                                                       const std::shared_ptr<platform::ViewController>& rootViewController);
  // A banner for the empty placement, flexible by 50, at the frame's origin.
  static std::shared_ptr<OVAdView> initWithFrame(platform::Rect frame);

  ~OVAdView() override;

  // The first call requests the placement (with the bid payload the host's
  // bidding returned, when given); every later call refreshes.
  void doLoadAd(const std::optional<std::string>& bidPayload);
  virtual void loadAd();
  // No refresh from now on, also when called before the first load.
  void disableAutoRefresh();
  // Whether an ad is shown.
  virtual bool isAdValid() const;

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void clearSubviews();
  // Fits the size to the screen: a flexible width (by 50 or by 90) takes
  // the screen's width in the current orientation, at least 320. The frame
  // keeps its origin and takes the fitted size.
  void updateInitialAdViewSize(OVAdSize adSize);

  const std::string& placementID() const { return placementID_; }
  std::shared_ptr<platform::ViewController> rootViewController() const { return rootViewController_.lock(); }
  std::shared_ptr<OVAdViewDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVAdViewDelegate> delegate) {
    platform::requireMainThread("OVAdView::setDelegate");
    delegate_ = std::move(delegate);
  }
  // The ad's view, a subview of the banner while shown.
  std::shared_ptr<platform::View> adView() const { return adView_.lock(); }
  OVAdSize adSize() const { return adSize_; }
  bool isInitialized() const { return initialized_; }
  platform::Size actualAdSize() const { return actualAdSize_; }

 protected:
  // The view without a controller: for ad views the library makes itself.
  OVAdView();

  // Our own reference to the receiver, for passing to delegates.
  std::shared_ptr<OVAdView> sharedAdView() { return std::static_pointer_cast<OVAdView>(shared_from_this()); }
  void setAdSize(OVAdSize adSize) { adSize_ = adSize; }

 private:
  friend class OVAdViewControllerEvents;

  // What the ad controller reports.
  void displayAdControllerPresentedView(const std::shared_ptr<platform::View>& view);
  void displayAdControllerLoaded();
  void displayAdControllerStopped();
  void displayAdControllerFailed(const platform::Error& error);
  void displayAdControllerImpression();
  void displayAdControllerClickThru();
  void displayAdControllerUserClosed();

  std::string placementID_;
  std::weak_ptr<platform::ViewController> rootViewController_;
  std::weak_ptr<OVAdViewDelegate> delegate_;
  std::weak_ptr<platform::View> adView_;
  std::shared_ptr<OVDisplayAdController> adController_;
  // Receives the controller's reports for the banner.
  std::shared_ptr<OVAdViewControllerEvents> controllerEvents_;
  OVAdSize adSize_;
  bool initialized_ = false;
  platform::Size actualAdSize_;
  std::shared_ptr<OVAdViewControllerProxy> viewController_;
};

}  // namespace plexora

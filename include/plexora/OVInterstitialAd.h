// The full-screen ad: loaded for one placement, then shown once over a view
// controller the host names. An HTML ad or a video ad, as the server sends.
// What happens reaches the host through OVInterstitialAdDelegate.
//
//   auto interstitial = OVInterstitialAd::initWithPlacementID("123_456");
//   interstitial->setDelegate(myDelegate);
//   interstitial->loadAd();
//   // in interstitialAdDidLoad:
//   interstitial->showAdFromRootViewController(rootViewController);
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, a public call from another thread ends the
// process at once, naming the call.
// Ownership: the host owns the interstitial; it owns its ad controller and
// holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Export.h"
#include "platform/foundation/Error.h"

namespace plexora::platform {
class ViewController;
}

namespace plexora {

class OVDisplayAdController;
class OVInterstitialAd;
class OVInterstitialAdControllerEvents;

inline constexpr const char* kOVInterstitialAdInvalidOperationException = "InvalidOperationException";
inline constexpr const char* kOVInterstitialAdShownTwiceReason = "showAdFromRootViewController may only be called once";

// Every message is optional.
class PLEXORA_EXPORT OVInterstitialAdDelegate {
 public:
  virtual ~OVInterstitialAdDelegate() = default;

  // An ad is ready to be shown.
  virtual void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/) {}
  // didFailWithError: no ad could be loaded or shown, or the ad shown
  // failed (a video that stopped playing).
  virtual void interstitialAd(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/,
                              const platform::Error& /*error*/) {}
  // The ad is on screen and its impression is being logged.
  virtual void interstitialAdWillLogImpression(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/) {}
  virtual void interstitialAdDidClick(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/) {}
  // The user closed the ad; it is going away, then gone.
  virtual void interstitialAdWillClose(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/) {}
  virtual void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAd>& /*interstitialAd*/) {}
};

class PLEXORA_EXPORT OVInterstitialAd final : public std::enable_shared_from_this<OVInterstitialAd> {
 public:
  // An interstitial for the empty placement.
  static std::shared_ptr<OVInterstitialAd> init();
  static std::shared_ptr<OVInterstitialAd> initWithPlacementID(const std::string& placementID);
  ~OVInterstitialAd();
  OVInterstitialAd(const OVInterstitialAd&) = delete;
  OVInterstitialAd& operator=(const OVInterstitialAd&) = delete;

  // The first call requests the placement (with the bid payload the host's
  // bidding returned, when given); a later call requests a new ad, which
  // still cannot be shown when the one show is used up.
  void doLoadAd(const std::optional<std::string>& bidPayload);
  void loadAd();

  // Presents the ad over the controller (none: the application's top
  // one); answers whether it did. An ad that is not valid, one whose
  // orientation the window does not allow, or a controller that already
  // presents something is refused and reported as "Ad failed to show".
  // Throws platform::Exception before an ad was loaded, and
  // (kOVInterstitialAdInvalidOperationException,
  // kOVInterstitialAdShownTwiceReason) from the second call on, whatever the
  // first answered.
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController);

  // Loaded, and not failed since.
  bool isAdValid() const;

  const std::string& placementID() const { return placementID_; }
  std::shared_ptr<OVInterstitialAdDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive.
  void setDelegate(std::weak_ptr<OVInterstitialAdDelegate> delegate);

 private:
  friend class OVInterstitialAdControllerEvents;

  OVInterstitialAd() = default;

  void displayAdControllerLoaded();
  void displayAdControllerFailed(const platform::Error& error);
  void displayAdControllerImpression();
  void displayAdControllerClickThru();
  void displayAdControllerUserClosed();
  void displayAdControllerStopped();

  std::string placementID_;
  std::weak_ptr<OVInterstitialAdDelegate> delegate_;
  std::shared_ptr<OVDisplayAdController> adController_;
  std::shared_ptr<OVInterstitialAdControllerEvents> controllerEvents_;
  bool initialized_ = false;
  bool ready_ = false;
  std::uint64_t showCount_ = 0;
  std::uint64_t maxShowCount_ = 1;
};

}  // namespace plexora

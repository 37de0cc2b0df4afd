// The HTML interstitial: an ad view (OVAdViewInternal) of the full-screen
// size as the view of a controller presented over the host's. It shows only
// in an orientation the window allows, hides the status bar while shown,
// and closes when the ad runs its "close" command.
//
// Thread safety: main thread only.
// Ownership: the adapter owns the internal; the internal owns its ad view,
// is held weakly as the view's delegates, and keeps the proxy it was shown
// from for the ad's browsers and store pages.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "OVAdViewInternal.h"
#include "internal/OVInterstitialAdInternal.h"
#include "platform/ui/Geometry.h"
#include "platform/value/Value.h"

namespace plexora {

class OVAdPlacementDefinition;
class OVAdViewControllerProxy;

class OVInterstitialDisplayAdInternal final : public OVInterstitialAdInternal,
                                              public OVAdViewInternalDelegate,
                                              public OVAdViewDelegate {
 public:
  static std::shared_ptr<OVInterstitialDisplayAdInternal> initWithPlacementID(
      const std::string& placementID, const platform::Dictionary& adData,
      const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition);
  ~OVInterstitialDisplayAdInternal() override;

  bool prefersStatusBarHidden() const override { return true; }
  // Both landscapes for a landscape ad, else portrait only.
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  // The screen's bounds in the current orientation.
  static platform::Rect frameForPresentationInWindow();

  bool isAdValid() const override;
  void loadAd() override;
  void loadAdFromMarkup(const std::string& markup, const std::string& activationCommand,
                        platform::InterfaceOrientation orientation) override;
  // None: the application's top controller.
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  // Refused for an ad that is not valid, while a modal view presents, or
  // when the window allows none of the ad's orientations.
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                    bool animated) override;
  // Takes the ad off screen, restoring the status bar.
  void exitInterstitial();

  // ---- OVAdViewInternalDelegate ----
  void adViewWillClose(const std::shared_ptr<OVAdViewInternal>& adView) override;

  // ---- OVAdViewDelegate ----
  void adViewDidLoad(const std::shared_ptr<OVAdView>& adView) override;
  void adView(const std::shared_ptr<OVAdView>& adView, const platform::Error& error) override;
  void adViewDidClick(const std::shared_ptr<OVAdView>& adView) override;
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>& adView) override;

  const std::shared_ptr<OVAdViewInternal>& adView() const { return adView_; }
  const std::string& placementID() const { return placementID_; }
  // Seconds since 1970 when it was shown; none before and after.
  std::optional<double> interstitialOpenedTime() const { return interstitialOpenedTime_; }

 private:
  OVInterstitialDisplayAdInternal() = default;

  std::recursive_mutex showLock_;
  bool isStatusBarHidden_ = false;
  std::string placementID_;
  std::optional<double> interstitialOpenedTime_;
  std::shared_ptr<OVAdViewInternal> adView_;
  std::shared_ptr<OVAdViewControllerProxy> presenter_;
};

}  // namespace plexora

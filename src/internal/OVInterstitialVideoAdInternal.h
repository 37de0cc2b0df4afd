// The video interstitial: the video content view over an in-stream data
// model as the view of a controller presented over the host's. The content
// view plays the ad and reports; this controller turns its reports into the
// interstitial's, runs its click-through, logs the impression once the ad
// is on screen, and goes away when the ad is skipped or closed.
//
// A video that fails after the ad is shown is reported like a failed load,
// and the controller then takes itself off screen: the content view has
// removed its controls, so the user would have no way out. The ad fails
// once and closes once: a failure after the close began, or a second one,
// does not reach the host.
//
// Thread safety: main thread only.
// Ownership: the adapter owns the internal; the internal owns its content
// view (its view), data model and command processor, and is held weakly as
// the delegate of both.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/views/video/OVVideoAdContentView.h"
#include "internal/OVInterstitialAdInternal.h"
#include "platform/value/Value.h"

namespace plexora {

class OVAdEventManager;
class OVAdPlacementDefinition;
class OVInstreamAdDataModel;
class OVInterstitialVideoAdContentView;

class OVInterstitialVideoAdInternal : public OVInterstitialAdInternal,
                                      public OVVideoAdContentViewDelegate,
                                      public OVAdCommandProcessorDelegate {
 public:
  static std::shared_ptr<OVInterstitialVideoAdInternal> initWithPlacementID(
      const std::string& placementID, const platform::Dictionary& adData,
      const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition);

  bool prefersStatusBarHidden() const override { return true; }
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;

  // A content view exists and the model is valid.
  bool isAdValid() const override;
  // Hands the model to the content view, which then reports loaded or failed.
  void loadAd() override;
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                    bool animated) override;

  // The click-through: the call to action's link through the command
  // processor, else the destination opened by the system.
  void handleLink();
  void registerClick();
  // Closes: will close, the dismissal, then did close.
  void unload();

  // Where the impression is logged (and the processor's events); the
  // process's event manager unless set.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager);

  // ---- OVVideoAdContentViewDelegate ----
  void contentViewDidLoad(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidProgress(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidPause(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidResume(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidSkip(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidClickthrough(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidEnd(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentViewDidUnload(const std::shared_ptr<OVVideoAdContentView>& contentView) override;
  void contentView(const std::shared_ptr<OVVideoAdContentView>& contentView, const platform::Error& error) override;

  // ---- OVAdCommandProcessorDelegate ----
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override { return nullptr; }

  const std::shared_ptr<OVInstreamAdDataModel>& dataModel() const { return dataModel_; }
  const std::shared_ptr<OVInterstitialVideoAdContentView>& contentView() const { return contentView_; }
  const std::shared_ptr<OVAdCommandProcessor>& commandProcessor() const { return commandProcessor_; }

 protected:
  OVInterstitialVideoAdInternal() = default;

 private:
  std::shared_ptr<OVInterstitialVideoAdInternal> sharedVideoInternal() {
    return std::static_pointer_cast<OVInterstitialVideoAdInternal>(shared_from_this());
  }
  std::shared_ptr<OVAdEventManager> eventManager() const;

  std::recursive_mutex showLock_;
  std::shared_ptr<OVAdCommandProcessor> commandProcessor_;
  std::shared_ptr<OVInstreamAdDataModel> dataModel_;
  std::shared_ptr<OVInterstitialVideoAdContentView> contentView_;
  std::shared_ptr<OVAdEventManager> eventManager_;
  bool presented_ = false;
  bool unloading_ = false;
  bool failed_ = false;
};

}  // namespace plexora

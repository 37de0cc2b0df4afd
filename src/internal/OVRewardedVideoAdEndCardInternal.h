// The end-card phase of a rewarded video ad: a full-screen view controller
// whose view is the end view made from the model's end-card markup. It is
// made while the video waits to be shown, so the card has loaded by the
// time the video ends, and is presented over the video controller.
//
// Thread safety: main thread only.
// Ownership: the rewarded ad's internal owns the controller; the controller
// owns its view (the end view) and holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/views/video/OVRewardedVideoAdEndView.h"
#include "platform/foundation/Error.h"
#include "platform/ui/ViewController.h"

namespace plexora {

class OVAdViewControllerProxy;
class OVRewardedVideoAdDataModel;
class OVRewardedVideoAdEndCardInternal;

// Each message passes the controller that sends it. The click and the close
// are required; the others default to nothing.
class OVRewardedVideoAdEndCardInternalDelegate {
 public:
  virtual ~OVRewardedVideoAdEndCardInternalDelegate() = default;

  virtual void rewardedVideoAdEndCardDidClick(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& controller) = 0;
  virtual void rewardedVideoAdEndCardWillClose(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& controller) = 0;
  virtual void rewardedVideoAdEndCardDidLoad(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& /*controller*/) {}
  virtual void rewardedVideoAdEndCard(const std::shared_ptr<OVRewardedVideoAdEndCardInternal>& /*controller*/,
                                      const platform::Error& /*didFailWithError*/) {}
};

class OVRewardedVideoAdEndCardInternal final : public platform::ViewController,
                                               public OVRewardedVideoAdEndViewDelegate {
 public:
  // None when no end view could be made for the model.
  static std::shared_ptr<OVRewardedVideoAdEndCardInternal> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);
  ~OVRewardedVideoAdEndCardInternal() override;

  std::shared_ptr<OVRewardedVideoAdEndCardInternalDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVRewardedVideoAdEndCardInternalDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

  // Hides the status bar, sizes the card to the screen and presents it from
  // `viewController`. Always true.
  bool showAdFromRootViewController(const std::shared_ptr<platform::ViewController>& viewController, bool animated);

  std::shared_ptr<OVRewardedVideoAdEndView> endView() const { return endView_.lock(); }
  bool isAutoRotateEnabled() const { return isAutoRotateEnabled_; }

  // ---- platform::ViewController ----
  bool prefersStatusBarHidden() const override { return true; }
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;

  // ---- OVRewardedVideoAdEndViewDelegate ----
  void rewardedVideoAdEndViewClicked(const std::shared_ptr<OVRewardedVideoAdEndView>& view) override;
  void rewardedVideoAdEndViewWillClose(const std::shared_ptr<OVRewardedVideoAdEndView>& view) override;
  void rewardedVideoAdEndView(const std::shared_ptr<OVRewardedVideoAdEndView>& view,
                              const platform::Error& didFailWithError) override;

  OVRewardedVideoAdEndCardInternal() = default;

 private:
  std::shared_ptr<OVRewardedVideoAdEndCardInternal> self();

  std::weak_ptr<OVRewardedVideoAdEndCardInternalDelegate> delegate_;
  // The controller's view.
  std::weak_ptr<OVRewardedVideoAdEndView> endView_;
  bool isAutoRotateEnabled_ = false;
};

}  // namespace plexora

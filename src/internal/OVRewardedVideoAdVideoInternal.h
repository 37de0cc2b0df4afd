// The video phase of a rewarded video ad: a full-screen view controller
// around the rewarded video view. It presents itself from the host's
// controller with the status bar hidden, starts the video once shown, logs
// the impression, feeds the video logger with the player's progress, and
// tells its delegate when the video is ready, was watched (to its end or
// skipped), failed, or ends the ad unrewarded.
//
// Thread safety: main thread only.
// Ownership: the rewarded ad's internal owns the controller; the controller
// owns its view (which holds the video view) and its video logger, and
// holds its delegate and the video view weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "adapters/views/video/OVRewardedVideoAdView.h"
#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/ViewController.h"

namespace plexora {

class OVAdEventManager;
class OVAdVideoLogger;
class OVAdViewControllerProxy;
class OVRewardedVideoAdDataModel;
class OVRewardedVideoAdVideoInternal;
class OVRewardedVideoRewardData;

// Values of the model's "context_switch": what the video does when the
// application comes back while it plays.
inline constexpr const char* kOVRewardedVideoContextSwitchResume = "resume";
inline constexpr const char* kOVRewardedVideoContextSwitchRestart = "restart";
inline constexpr const char* kOVRewardedVideoContextSwitchSkip = "skip";

// Every message passes the controller that sends it.
class OVRewardedVideoAdVideoInternalDelegate {
 public:
  virtual ~OVRewardedVideoAdVideoInternalDelegate() = default;

  // The video is cached and the ad may be shown.
  virtual void rewardedVideoAdVideoDidLoad(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) = 0;
  virtual void rewardedVideoAdVideo(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller,
                                    const platform::Error& didFailWithError) = 0;
  // Watched to the end or skipped: the reward is earned.
  virtual void rewardedVideoAdVideoComplete(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) = 0;
  // Sent once the impression was logged.
  virtual void rewardedVideoAdVideoWillLogImpression(
      const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) = 0;
  // The ad is to close before the video was watched.
  virtual void rewardedVideoAdVideoWillClose(const std::shared_ptr<OVRewardedVideoAdVideoInternal>& controller) = 0;
};

class OVRewardedVideoAdVideoInternal final : public platform::ViewController, public OVRewardedVideoAdViewDelegate {
 public:
  // Makes the video view (which starts caching the video) and the video
  // logger for the model's client token.
  static std::shared_ptr<OVRewardedVideoAdVideoInternal> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      const std::shared_ptr<OVRewardedVideoRewardData>& rewardData);
  ~OVRewardedVideoAdVideoInternal() override;

  std::shared_ptr<OVRewardedVideoAdVideoInternalDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVRewardedVideoAdVideoInternalDelegate> delegate) { delegate_ = std::move(delegate); }
  // Where the impression is logged; the process's event manager unless set.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager) { eventManager_ = std::move(eventManager); }

  // The video view is valid.
  bool isAdValid() const;
  // Hides the status bar and presents the controller from the proxy's
  // controller; once shown the video starts and the impression is logged.
  // False when the video view is not valid or nothing presented it.
  bool showAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                    bool animated);
  // The application's status bar as it was before the show.
  bool isStatusBarHidden() const { return isStatusBarHidden_; }
  // Puts the status bar back as it was before the show; nothing when the
  // controller never hid it.
  void restoreStatusBar();

  std::shared_ptr<OVRewardedVideoAdView> videoView() const { return videoView_.lock(); }
  const std::shared_ptr<OVAdVideoLogger>& videoLogger() const { return videoLogger_; }
  bool isAutoRotateEnabled() const { return isAutoRotateEnabled_; }

  // ---- platform::ViewController ----
  void loadView() override;
  bool prefersStatusBarHidden() const override { return true; }
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  // The video view fills the controller's view.
  void viewWillLayoutSubviews();

  // ---- OVRewardedVideoAdViewDelegate ----
  void rewardedVideoViewCached(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoViewDidLoad(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoViewProgress(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoViewDidPause(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoViewDidResume(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoViewDidSkip(const std::shared_ptr<OVRewardedVideoAdView>& view) override;
  void rewardedVideoView(const std::shared_ptr<OVRewardedVideoAdView>& view,
                         const platform::Error& didFailWithError) override;
  void rewardedVideoViewEnded(const std::shared_ptr<OVRewardedVideoAdView>& view, bool withSuccess,
                              double withTime) override;
  void rewardedVideoViewContextSwitch(const std::shared_ptr<OVRewardedVideoAdView>& view) override;

  OVRewardedVideoAdVideoInternal() = default;

 private:
  class ContentView;

  std::shared_ptr<OVRewardedVideoAdVideoInternal> self();
  // The player's position now; invalid without a player.
  platform::MediaTime currentTime() const;
  void logImpression();
  // Skipped or switched away for good: no more notifications of the view.
  void stopObservingVideoView();

  std::shared_ptr<OVRewardedVideoAdDataModel> rewardedVideoDataModel_;
  std::weak_ptr<OVRewardedVideoAdVideoInternalDelegate> delegate_;
  // Held by the controller's view, of which it is a subview.
  std::weak_ptr<OVRewardedVideoAdView> videoView_;
  std::shared_ptr<OVAdVideoLogger> videoLogger_;
  std::shared_ptr<OVAdEventManager> eventManager_;
  bool isStatusBarHidden_ = false;
  bool hidStatusBar_ = false;
  bool isAutoRotateEnabled_ = false;
  std::mutex showLock_;
};

}  // namespace plexora

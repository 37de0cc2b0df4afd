// The rewarded video view over the video players: the library's engine or
// the system's player, as the video view chose when it was made.
//
// Made, it preloads the video through the resource cache and reports the
// preload as cached, or as a failure when the cache delivered nothing. It
// builds its overlay at once, hidden where it fades: a progress bar along
// the bottom edge, a skip ring in the top-right corner for a skippable ad,
// and, where the configuration asks for them, a centred play/pause button
// and a details block (gradient, icon, title, subtitle).
//
// playVideo() fetches the video again through the cache, opens the file as
// an asset of the chosen kind, loads its keys and, back on the main queue,
// builds the item and the player (unmuted, handed to the video view), lays
// the overlay out, observes the item's end, failure, stall and error log
// and the application's activity, adds the 1/20 s progress observer and
// tells the delegate the view loaded: the delegate starts the player.
//
// Playback ends once: played to the end (success), failed, stalled or
// error-logged (a failure, reported first as an error), or skipped (a skip
// only); each end takes the player, video and overlay down. Reports that
// were already queued when it ended are dropped.
//
// Thread safety: main thread only. The cache, the key load and the player
// report on other queues; every report is carried to the main queue.
// Ownership: the rewarded ad's controller owns the view; the view's
// hierarchy owns its subviews (the view keeps them weakly), the video view
// owns the player and its layer, and the view owns its fader, data model
// and periodic observers. Delegate and root view controller are held
// weakly; every block holds the view weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/video/OVRewardedVideoAdView.h"
#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/Geometry.h"
#include "util/compatibility/OVAdQNVCompatibility.h"

namespace plexora {

namespace platform {
class ImageView;
}  // namespace platform

class OVAdVideoPlayerView;
class OVAdVideoPlayPauseButton;
class OVAdVideoProgressBar;
class OVAdVideoSkipButton;
class OVGradientView;
class OVRewardedVideoAdOverlayFader;
class OVVideoAdLabel;
class QNVAssetForCache;

inline constexpr const char* kOVRewardedVideoAdRootViewControllerNilReason = "rootViewController cannot be nil";
inline constexpr const char* kOVAVPlayerItemNewErrorLogEntryNotification = "AVPlayerItemNewErrorLogEntryNotification";

class OVRewardedVideoAdEngineView final : public OVRewardedVideoAdView {
 public:
  static constexpr double kProgressBarHeight = 5.0;
  static constexpr double kPlayPauseButtonSize = 70.0;
  static constexpr double kSkipButtonSize = 43.0;
  static constexpr double kDetailsMargin = 12.0;
  static constexpr double kIconBlockWidth = 76.0;
  static constexpr double kIconBlockHeight = 64.0;
  static constexpr double kIconSize = 64.0;
  static constexpr double kMaximumTextWidth = 567.0;
  // The gradient reaches this far above the details block's bottom margin.
  static constexpr double kGradientExtraHeight = 17.0;
  // Progress reports per second of playback.
  static constexpr std::int32_t kProgressTimescale = 20;
  static constexpr std::int32_t kSkipTimescale = 1000;

  // Throws platform::Exception named "NSInvalidArgumentException" without a
  // root view controller.
  static std::shared_ptr<OVRewardedVideoAdEngineView> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int32_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);
  // An empty placement and data model, no minimum viewability and the
  // application's top view controller; the frame is not used.
  static std::shared_ptr<OVRewardedVideoAdEngineView> initWithFrame(platform::Rect frame);

  ~OVRewardedVideoAdEngineView() override;

  // ---- OVRewardedVideoAdView ----
  void setDelegate(std::weak_ptr<OVRewardedVideoAdViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  bool isAdValid() const override;
  void playVideo() override;
  std::shared_ptr<QNVAVPlayer> player() const override { return player_.lock(); }

  // ---- Geometry ----
  // Each lays the overlay out again for a new, non-empty rectangle.
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  // Lays out every overlay view for the current bounds (the flag is not
  // used).
  void updateView(bool resize);

  // ---- User actions ----
  void playPauseButtonTapped();
  void skipButtonViewTapped();
  void backgroundTapped();
  // Fades the play/pause button, details block and gradient in or out.
  void toggleAll();

  // ---- State ----
  // Whether the ad may be skipped at all.
  bool skippable() const { return skippableTime_.isValid(); }
  // The time until a skip counts, never below zero; invalid when the ad is
  // not skippable.
  platform::MediaTime skipRemainingTime() const;
  const platform::MediaTime& skippableTime() const { return skippableTime_; }
  const platform::MediaTime& duration() const { return duration_; }
  const platform::MediaTime& currentTime() const { return currentTime_; }
  bool isPaused() const { return paused_; }
  std::int64_t orientation() const { return orientation_; }
  const std::string& placementID() const { return placementID_; }
  std::int64_t minViewabilityPercentage() const { return minViewabilityPercentage_; }
  const std::shared_ptr<OVRewardedVideoAdDataModel>& rewardedVideoDataModel() const { return rewardedVideoDataModel_; }
  std::shared_ptr<OVAdViewControllerProxy> rootViewController() const { return rootViewController_.lock(); }
  const std::optional<std::string>& titleText() const { return titleText_; }
  bool isAnimating() const;

  // ---- Subviews (null once gone) ----
  std::shared_ptr<OVAdVideoPlayerView> videoView() const { return videoView_.lock(); }
  std::shared_ptr<OVAdVideoProgressBar> progressBar() const { return progressBar_.lock(); }
  std::shared_ptr<OVAdVideoSkipButton> skipButtonView() const { return skipButtonView_.lock(); }
  std::shared_ptr<OVAdVideoPlayPauseButton> playPauseButton() const { return playPauseButton_.lock(); }
  std::shared_ptr<platform::View> adDetailsView() const { return adDetailsView_.lock(); }
  std::shared_ptr<OVGradientView> gradientView() const { return gradientView_.lock(); }
  std::shared_ptr<platform::ImageView> iconView() const { return iconView_.lock(); }
  std::shared_ptr<OVVideoAdLabel> titleView() const { return titleView_.lock(); }
  std::shared_ptr<OVVideoAdLabel> subtitleView() const { return subtitleView_.lock(); }

  // Only for make_shared: use initWithPlacementID.
  OVRewardedVideoAdEngineView(const std::string& placementID, std::shared_ptr<OVRewardedVideoAdDataModel> adData,
                              std::int32_t minViewability,
                              const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);

 private:
  using TimeBlock = std::function<void(const platform::MediaTime& time)>;

  std::shared_ptr<OVRewardedVideoAdEngineView> self();
  std::shared_ptr<OVRewardedVideoAdViewDelegate> delegate() const { return delegate_.lock(); }

  void build();
  void addAdDetailsView();
  void addIconView();
  void addProgressBar();
  void addTitleView();
  void addSubtitleView();
  void addGradientView();
  void addPlayPauseButton();
  void addSkipButton();
  void preload();

  // The cache's answer to the preload.
  void videoCached(const std::shared_ptr<QNVAssetForCache>& asset);
  void dispatchVideoCached();
  // The cache's answer to playVideo: the asset of the chosen kind, opened
  // from the downloaded file where the cache answered the file.
  void assetArrived(const std::shared_ptr<QNVAssetForCache>& asset);
  void keysLoaded(const std::shared_ptr<platform::PlayerAsset>& asset, const platform::URL& url);
  void fail(std::int64_t code, const char* description);

  void setupNotifications();
  void applicationWillResignActive();
  void applicationDidBecomeActive();
  void addTimingObserver(TimeBlock block);
  void removeAllTimingObservers();
  // The end of playback; nothing once playback has ended.
  void dispatchVideoEndedWithSuccess(bool success, const std::optional<platform::Error>& error);
  std::optional<platform::Error> playerError() const;
  void cleanLayout();
  void removeAllObservers();
  void highlightPlayPauseButtonLater(bool highlighted);

  const std::int64_t orientation_;
  const std::string placementID_;
  const std::shared_ptr<OVRewardedVideoAdDataModel> rewardedVideoDataModel_;
  const std::int64_t minViewabilityPercentage_;
  const std::weak_ptr<OVAdViewControllerProxy> rootViewController_;
  std::weak_ptr<OVRewardedVideoAdViewDelegate> delegate_;
  bool adValid_ = false;
  OVAdVideoLibrary library_ = OVAdVideoLibrary::kQNVPlayer;

  platform::MediaTime duration_;
  platform::MediaTime currentTime_ = platform::MediaTime::zero();
  platform::MediaTime skippableTime_;
  std::optional<std::string> titleText_;
  bool paused_ = false;
  // playVideo was called: a second call builds nothing.
  bool playRequested_ = false;
  // Playback ended (played out, failed or skipped): later reports are late.
  bool ended_ = false;

  std::shared_ptr<OVRewardedVideoAdOverlayFader> fader_;
  // Each removes one periodic observer from the player that carries it.
  std::vector<std::function<void()>> timingObservers_;

  std::weak_ptr<OVAdVideoPlayerView> videoView_;
  std::weak_ptr<OVAdVideoProgressBar> progressBar_;
  std::weak_ptr<OVAdVideoSkipButton> skipButtonView_;
  std::weak_ptr<OVAdVideoPlayPauseButton> playPauseButton_;
  std::weak_ptr<platform::View> adDetailsView_;
  std::weak_ptr<OVGradientView> gradientView_;
  std::weak_ptr<platform::ImageView> iconView_;
  std::weak_ptr<OVVideoAdLabel> titleView_;
  std::weak_ptr<OVVideoAdLabel> subtitleView_;
  std::weak_ptr<QNVAVPlayer> player_;
  std::weak_ptr<platform::PlayerItem> playerItem_;
};

}  // namespace plexora

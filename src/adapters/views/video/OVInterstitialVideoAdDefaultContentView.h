// The library's video interstitial content: the video (an OVAdVideoView)
// with its poster, progress bar, play/pause button, call to action,
// ad-choices badge, ad details (icon, title, subtitle) over a gradient, and
// the close button that counts down the time before the ad may be skipped.
// Laid out by OVInterstitialVideoAdLayout on every pass; the controls (and
// details that are not persistent) fade out 2 s after they were shown.
//
// Every ad can be closed once its video has ended: an ad that cannot be
// skipped gets its close cross then. A failure reports "Network Error"
// (1000) with the video's own error in the detail.
//
// Thread safety: main thread only.
// Ownership: the interstitial's controller owns the view (its view); the
// view owns its subviews, timers and observers, and holds its delegate
// weakly; every block it hands out holds it weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/video/OVAdVideoView.h"
#include "adapters/views/video/OVInterstitialVideoAdContentView.h"
#include "adapters/views/video/OVInterstitialVideoAdLayout.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/Color.h"
#include "plexora/OVAdChoicesView.h"

namespace plexora::platform {
class ImageView;
class Label;
}  // namespace plexora::platform

namespace plexora {

class OVAdTimeObserver;
class OVAdTimer;
class OVAdVideoPlayPauseButton;
class OVAdVideoProgressBar;
class OVGradientView;
class OVInstreamLearnMoreView;
class OVInterstitialVideoAdCloseButton;
class OVVideoAdLabel;

inline constexpr const char* kOVInterstitialVideoAdChoicesLink = "https://www.plexora.test/ads/ad_choices";
// Where a failure keeps the video's own error in the error's detail.
inline constexpr const char* kOVInterstitialVideoAdCauseDomainKey = "domain";
inline constexpr const char* kOVInterstitialVideoAdCauseCodeKey = "code";
inline constexpr const char* kOVInterstitialVideoAdCauseDescriptionKey = "description";

class OVInterstitialVideoAdDefaultContentView final : public OVInterstitialVideoAdContentView,
                                                      public OVAdVideoViewDelegate,
                                                      public OVAdChoicesViewDelegate {
 public:
  static constexpr double kHideDelay = 2.0;
  static constexpr double kFadeDuration = 0.5;

  // Black, nothing loaded, no skippable time.
  static std::shared_ptr<OVInterstitialVideoAdDefaultContentView> create();
  ~OVInterstitialVideoAdDefaultContentView() override;

  void setDelegate(std::weak_ptr<OVVideoAdContentViewDelegate> delegate) override { delegate_ = std::move(delegate); }
  void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) override;
  void startFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  void layoutSubviews() override;

  void pause() override;
  void resume() override;

  platform::MediaTime currentTime() const override;
  platform::MediaTime duration() const override;
  // Whether the video starts by itself, as the ad's data says.
  bool isAutoplay() const override { return autoplay_; }
  float volume() const override;
  bool skippable() const override { return skippableTime_.isValid(); }
  // Invalid for an ad that cannot be skipped.
  platform::MediaTime skipRemainingTime() const override;
  // The video's width over its height; 16:9 until it is known.
  double videoAspectRatio() const;

  // ---- Taps ----
  void closeButtonViewTapped();
  void callToActionViewTapped();
  void playPauseButtonTapped();
  void backgroundTapped();

  // ---- OVAdVideoViewDelegate ----
  void videoViewDidLoad(const std::shared_ptr<OVAdVideoView>& videoView) override;
  void videoViewDidEnd(const std::shared_ptr<OVAdVideoView>& videoView) override;
  void videoView(const std::shared_ptr<OVAdVideoView>& videoView, const platform::Error& error) override;

  // ---- OVAdChoicesViewDelegate ----
  void adChoicesViewWillPresentViewController(const std::shared_ptr<OVAdChoicesView>& view,
                                              const std::shared_ptr<platform::ViewController>& viewController) override;
  void adChoicesViewViewControllerCompleted(const std::shared_ptr<OVAdChoicesView>& view,
                                            const std::shared_ptr<platform::ViewController>& viewController) override;

  // ---- What is shown ----
  const std::shared_ptr<OVAdVideoView>& videoView() const { return videoView_; }
  const std::shared_ptr<OVInterstitialVideoAdCloseButton>& closeButtonView() const { return closeButtonView_; }
  const std::shared_ptr<OVAdVideoProgressBar>& progressBar() const { return progressBar_; }
  const std::shared_ptr<OVAdVideoPlayPauseButton>& playPauseButton() const { return playPauseButton_; }
  const std::shared_ptr<OVInstreamLearnMoreView>& callToActionView() const { return callToActionView_; }
  const std::shared_ptr<OVAdChoicesView>& adChoicesView() const { return adChoicesView_; }
  const std::shared_ptr<platform::View>& adDetailsView() const { return adDetailsView_; }
  const std::shared_ptr<platform::ImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<OVGradientView>& gradientView() const { return gradientView_; }
  const std::shared_ptr<OVVideoAdLabel>& titleView() const { return titleView_; }
  const std::shared_ptr<OVVideoAdLabel>& subtitleView() const { return subtitleView_; }
  const platform::Color& accentColor() const { return accentColor_; }
  bool isPaused() const { return paused_; }
  bool isVideoEnded() const { return videoEnded_; }
  bool adDetailsPersistent() const { return adDetailsPersistent_; }
  // The layout of the last pass.
  std::optional<OVInterstitialVideoAdLayoutKind> layoutKind() const { return layoutKind_; }

  OVInterstitialVideoAdDefaultContentView() = default;

 private:
  using Views = std::vector<std::shared_ptr<platform::View>>;

  std::shared_ptr<OVInterstitialVideoAdDefaultContentView> self();
  std::shared_ptr<OVVideoAdContentViewDelegate> delegate() const { return delegate_.lock(); }

  void addProgressBar();
  void addCallToActionView();
  void addAdChoicesView();
  void addPlayPauseButton();
  void addCloseButton();
  void addObservers();
  void removeObservers();
  void addAnimationProgressTimingObserver();
  void removeAnimationProgressTimingObserver();
  void handleAnimationProgress();
  void addTap(const std::shared_ptr<platform::View>& view, void (OVInterstitialVideoAdDefaultContentView::*tapped)());
  void registerLoaded();
  void resetPlayer();
  void cleanLayout();
  void applyLayout(const OVInterstitialVideoAdLayoutFrames& frames);
  void setAdDetailsTextColor(platform::Color color);

  Views adDetailViews() const;
  Views playerControlViews() const;
  void showAdDetails();
  void showPlayerControls();
  void scheduleHideAll();
  void toggleAll();
  void toggleViews(const Views& views);
  void animateShowViews(const Views& views);
  void animateHideViews(const Views& views);
  void scheduleHideViews(const Views& views);
  void cancelAnimateViews();

  std::weak_ptr<OVVideoAdContentViewDelegate> delegate_;
  std::shared_ptr<OVInstreamAdDataModel> dataModel_;
  std::shared_ptr<OVAdVideoView> videoView_;
  std::shared_ptr<platform::ImageView> imageView_;
  std::shared_ptr<platform::ImageView> iconView_;
  std::shared_ptr<OVGradientView> gradientView_;
  std::shared_ptr<OVAdVideoProgressBar> progressBar_;
  std::shared_ptr<OVInstreamLearnMoreView> callToActionView_;
  std::shared_ptr<OVAdChoicesView> adChoicesView_;
  std::shared_ptr<platform::View> adDetailsView_;
  std::shared_ptr<OVVideoAdLabel> titleView_;
  std::shared_ptr<OVVideoAdLabel> subtitleView_;
  std::shared_ptr<OVAdVideoPlayPauseButton> playPauseButton_;
  std::shared_ptr<OVInterstitialVideoAdCloseButton> closeButtonView_;
  std::shared_ptr<OVAdTimeObserver> progressObserver_;
  std::shared_ptr<OVAdTimer> toggleViewsTimer_;
  std::vector<platform::NotificationCenter::ObserverToken> applicationObservers_;
  std::shared_ptr<OVAdViewControllerProxy> rootViewController_;
  std::optional<std::string> callToActionText_;
  std::string clientToken_;
  platform::Color accentColor_;
  platform::Color defaultBackgroundColor_ = platform::Color::black();
  platform::Color defaultTextColor_ = platform::Color::white();
  platform::MediaTime skippableTime_;
  std::optional<OVInterstitialVideoAdLayoutKind> layoutKind_;
  bool autoplay_ = false;
  bool defaultPersistentAdDetails_ = false;
  bool adDetailsPersistent_ = false;
  bool animating_ = false;
  bool paused_ = false;
  bool imagesLoaded_ = false;
  bool videoLoaded_ = false;
  bool videoEnded_ = false;
  bool started_ = false;
};

}  // namespace plexora

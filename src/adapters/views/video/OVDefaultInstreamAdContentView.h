// The library's in-stream content view: it loads the ad's video into an
// in-stream video view (the system's player, the HD video on Wi-Fi) and,
// once started, lays over it the skip button with its countdown to the
// moment the ad may be skipped, a label of the time left in the video,
// "Learn More" when the ad has a destination, and the ad-choices badge.
//
// What it tells its delegate (the video ad controller): the video's load,
// each progress tick, the user's pauses and resumes by tapping the video,
// a skip, a click-through on "Learn More", the end (then the unload) and
// any failure, always as error 1000. The end, a skip and a failure take the
// playing state down: the video, its widgets and the application
// observers go; the countdown label stays.
//
// While the application is inactive or the ad-choices page is shown the
// video stops, and it plays again afterwards unless the user had paused
// it; neither is reported as a pause.
//
// Thread safety: main thread only.
// Ownership: the controller owns the content view and is its delegate,
// held weakly; the view owns its video view and widgets, and is their
// delegate, held weakly too.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/video/OVInstreamAdContentView.h"
#include "adapters/views/video/OVInstreamAdVideoView.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/media/MediaTime.h"
#include "plexora/OVAdChoicesView.h"

namespace plexora {

class OVAdImage;
class OVInstreamLearnMoreView;
class OVInstreamSkipButtonView;
class OVVideoAdLabel;

// Where the ad-choices badge leads.
inline constexpr const char* kOVInstreamAdChoicesLinkURL = "http://www.plexora.com/ads/ad_choices";

class OVDefaultInstreamAdContentView final : public OVInstreamAdContentView,
                                             public OVInstreamAdVideoViewDelegate,
                                             public OVAdChoicesViewDelegate {
 public:
  static std::shared_ptr<OVDefaultInstreamAdContentView> create();
  OVDefaultInstreamAdContentView();
  ~OVDefaultInstreamAdContentView() override;

  // ---- Playback, as the video answers it
  platform::MediaTime currentTime() const override;
  platform::MediaTime duration() const override;
  bool isAutoplay() const override { return false; }
  bool skippable() const override { return skippableTime_.isValid(); }
  // The time until the skip button works, never below zero; invalid when
  // the ad cannot be skipped.
  platform::MediaTime skipRemainingTime() const override;
  float volume() const override;

  // ---- The controller's calls
  void loadAdFromDataModel(const std::shared_ptr<OVInstreamAdDataModel>& dataModel) override;
  void startFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  // Stops a playing video and reports the pause.
  void pause() override;
  // Plays a stopped video and reports the resume.
  void resume() override;

  void layoutSubviews() override;

  // ---- Taps on the widgets
  // Skips once the skip time has come; before, nothing happens.
  void skipButtonViewTapped();
  void learnMoreViewTapped();

  // The whole seconds until the ad may be skipped, rounded up, so that the
  // button reads "Skip Ad" only once a tap skips.
  std::uint64_t skipRemainingSeconds() const;

  // ---- OVInstreamAdVideoViewDelegate
  void videoViewDidLoad(const std::shared_ptr<OVInstreamAdVideoView>& videoView) override;
  void videoViewTapped(const std::shared_ptr<OVInstreamAdVideoView>& videoView) override;
  void videoViewDidProgress(const std::shared_ptr<OVInstreamAdVideoView>& videoView) override;
  void videoViewDidEnd(const std::shared_ptr<OVInstreamAdVideoView>& videoView) override;
  void videoView(const std::shared_ptr<OVInstreamAdVideoView>& videoView,
                 const std::optional<platform::Error>& didFailWithError) override;

  // ---- OVAdChoicesViewDelegate
  void adChoicesViewWillPresentViewController(const std::shared_ptr<OVAdChoicesView>& view,
                                              const std::shared_ptr<platform::ViewController>& viewController) override;
  void adChoicesViewViewControllerDismissed(const std::shared_ptr<OVAdChoicesView>& view,
                                            const std::shared_ptr<platform::ViewController>& viewController) override;

  // ---- State, for the widgets' owners and tests
  const std::shared_ptr<OVInstreamAdVideoView>& videoView() const { return videoView_; }
  const std::shared_ptr<OVInstreamSkipButtonView>& skipButtonView() const { return skipButtonView_; }
  const std::shared_ptr<OVVideoAdLabel>& countdownView() const { return countdownView_; }
  const std::shared_ptr<OVInstreamLearnMoreView>& learnMoreView() const { return learnMoreView_; }
  const std::shared_ptr<OVAdChoicesView>& adChoicesView() const { return adChoicesView_; }
  const std::shared_ptr<OVAdImage>& adChoicesIcon() const { return adChoicesIcon_; }
  const platform::MediaTime& skippableTime() const { return skippableTime_; }
  bool destinationAvailable() const { return destinationAvailable_; }
  const std::string& inlineClientToken() const { return inlineClientToken_; }
  std::uint64_t lastRemainingTimeSeconds() const { return lastRemainingTimeSeconds_; }
  bool isPaused() const { return paused_; }
  const std::shared_ptr<OVAdViewControllerProxy>& rootViewController() const { return rootViewController_; }

 private:
  std::shared_ptr<OVDefaultInstreamAdContentView> sharedSelf();
  void addSkipButton();
  void addCountdownView();
  void addLearnMoreView();
  void addAdChoicesView();
  void addObservers();
  void removeObservers();
  void applicationWillResignActive();
  void applicationDidBecomeActive();
  void cleanLayout();
  void updateCountdownText();
  void updateSkipButtonRemainingTime();
  void failWithNetworkError();

  std::shared_ptr<OVAdImage> adChoicesIcon_;
  std::shared_ptr<OVAdChoicesView> adChoicesView_;
  std::shared_ptr<OVVideoAdLabel> countdownView_;
  bool destinationAvailable_ = false;
  std::string inlineClientToken_;
  std::uint64_t lastRemainingTimeSeconds_ = 0;
  std::shared_ptr<OVInstreamLearnMoreView> learnMoreView_;
  bool paused_ = false;
  std::shared_ptr<OVAdViewControllerProxy> rootViewController_;
  platform::MediaTime skippableTime_ = platform::MediaTime::invalid();
  std::shared_ptr<OVInstreamSkipButtonView> skipButtonView_;
  std::shared_ptr<OVInstreamAdVideoView> videoView_;
  std::vector<platform::NotificationCenter::ObserverToken> applicationObservers_;
};

}  // namespace plexora

// The video renderer the media view makes when the host gives it none: the
// media-view renderer with on-video controls and viewability autoplay.
// Inline (in the ad's layout) it plays muted with a play/pause button, the
// remaining time and an audio-level indicator, and a tap asks the delegate
// to open it full screen; full screen (setInlineMode(false), by the
// fullscreen controller) the controls are twice as large and a scrubber
// seeks. While autoplay is on the video plays whenever the view is
// viewable and pauses when it stops being; without autoplay the ad's cover
// image shows until the video plays. The renderer pauses when the
// application resigns active and plays again when it becomes active.
//
// create() makes this renderer unless another maker is installed (tests
// install doubles).
//
// Thread safety: main thread only.
// Ownership: the media view owns the renderer; the renderer's view
// hierarchy owns the controls, the renderer owns its viewability validator
// and progress observer, keeps the poster and holds its delegate weakly.
#pragma once

#include <memory>
#include <string>

#include "internal/OVAdViewabilityValidator.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "plexora/OVMediaViewVideoRenderer.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdBlurredImageView;
class OVAdImage;
class OVAdVideoPlayButton;
class OVAdVideoPlayerAudioMeters;
class OVAdVideoScrubber;
class OVGradientView;
class OVMediaViewDefaultVideoRenderer;

class OVMediaViewDefaultVideoRendererDelegate {
 public:
  virtual ~OVMediaViewDefaultVideoRendererDelegate() = default;

  virtual void defaultVideoRendererWasTapped(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRenderer(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer,
                                    float volumeDidChange) = 0;
  virtual void defaultVideoRendererDidPause(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRendererDidPlay(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRendererVideoDidComplete(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
};

class OVMediaViewDefaultVideoRenderer : public OVMediaViewVideoRenderer, public OVAdViewabilityValidatorDelegate {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVMediaViewDefaultVideoRenderer>()>;

  // The renderer checks viewability this often, and needs this much of
  // itself on screen.
  static constexpr double kViewabilityCheckInterval = 0.25;
  static constexpr std::int64_t kMinViewabilityPercentage = 50;
  static constexpr double kControlAlpha = 0.75;
  static constexpr double kGradientShadeAlpha = 0.42;

  static std::shared_ptr<OVMediaViewDefaultVideoRenderer> create() { return maker()(); }
  static Maker& maker();

  OVMediaViewDefaultVideoRenderer();
  ~OVMediaViewDefaultVideoRenderer() override;

  void layoutSubviews() override;

  void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled,
                    Block loadedBlock, Block failureBlock) override;
  using OVMediaViewVideoRenderer::loadVideoURL;

  virtual void setDelegate(std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  std::shared_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate() const { return delegate_.lock(); }
  // The ad's cover image.
  virtual void setPosterImage(std::shared_ptr<OVAdImage> posterImage);
  const std::shared_ptr<OVAdImage>& posterImage() const { return posterImage_; }
  // Inline: tap on, controls at their size, no scrubber, muted. Full
  // screen: no tap, controls twice as large, scrubber, volume unchanged.
  virtual void setInlineMode(bool inlineMode);
  bool inlineMode() const { return inlineMode_; }
  void setAutoplayEnabled(bool autoplayEnabled);
  bool autoplayEnabled() const { return autoplayEnabled_; }
  void setTapEnabled(bool tapEnabled);
  bool isTapEnabled() const { return tapEnabled_; }
  void setScrubberEnabled(bool scrubberEnabled);
  bool isScrubberEnabled() const { return scrubberEnabled_; }
  void setPlayPauseButtonEnabled(bool enabled) { playPauseButtonEnabled_ = enabled; }
  bool isPlayPauseButtonEnabled() const { return playPauseButtonEnabled_; }

  // The remaining time as the label shows it, laid out by the whole video's
  // length: "H:mm:ss" from an hour, "mm:ss" from ten minutes, else "m:ss".
  // A remaining time that is negative or not a finite number shows none
  // left.
  static std::string remainingTimeLabel(double remainingSeconds, double duration);

  // Plays while viewable (with autoplay), pauses when not; keeps checking.
  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& validator,
                            OVAdViewabilityStatus status) override;
  void applicationWillResignActive();
  void applicationDidBecomeActive();

  // The controls' actions.
  void startStopAction();
  void tap();
  void videoScrubberTouchDown();
  void videoScrubberChanged();
  void videoScrubberTouchComplete();

  bool layoutBuilt() const { return layoutBuilt_; }
  bool playbackSuspended() const { return playbackSuspended_; }
  bool playerIsPlaying() const { return playerIsPlaying_; }
  bool videoCurrentlyShownToUser() const { return videoCurrentlyShownToUser_; }
  double controlSizeMultiplier() const { return controlSizeMultiplier_; }
  std::shared_ptr<OVAdVideoPlayButton> playPauseButton() const { return playPauseButton_.lock(); }
  std::shared_ptr<platform::Label> timeRemainingLabel() const { return timeRemainingLabel_.lock(); }
  std::shared_ptr<OVAdVideoScrubber> videoScrubber() const { return videoScrubber_.lock(); }
  std::shared_ptr<OVAdVideoPlayerAudioMeters> audioMetersView() const { return audioMetersView_.lock(); }
  std::shared_ptr<OVGradientView> gradientView() const { return gradientView_.lock(); }
  std::shared_ptr<OVAdBlurredImageView> posterImageView() const { return posterImageView_.lock(); }
  std::shared_ptr<platform::GestureRecognizer> tapGestureRecognizer() const { return tapGestureRecognizer_.lock(); }
  const std::shared_ptr<OVAdViewabilityValidator>& viewabilityValidator() const { return viewabilityValidator_; }

 protected:
  void videoDidChangeVolume() override;
  void videoDidLoad() override;
  void videoDidPause() override;
  void videoDidPlay() override;
  void videoDidEnd() override;
  void videoDidFailWithError(const platform::Error& error) override;

 private:
  std::shared_ptr<OVMediaViewDefaultVideoRenderer> self();
  void buildLayout();
  void setupView();
  void addGestureRecognizers();
  void removeGestureRecognizers();
  void addProgressTimeObserver();
  void removeProgressTimeObserver();
  void onVideoProgress();
  void onVideoStopped();
  void updateUserInterface();
  void updateUserInterfaceAt(const platform::MediaTime& time);
  void setupCoverImage();
  void updateCoverImage();
  void enableCoverImageIfNeeded();
  void disableCoverImageIfNeeded();

  std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate_;
  std::shared_ptr<OVAdImage> posterImage_;
  bool inlineMode_ = false;
  bool autoplayEnabled_ = false;
  bool layoutBuilt_ = false;
  bool playbackSuspended_ = false;
  bool playerIsPlaying_ = false;
  bool playPauseButtonEnabled_ = false;
  bool scrubberEnabled_ = false;
  bool tapEnabled_ = false;
  bool videoCurrentlyShownToUser_ = false;
  bool volumeWasSet_ = false;
  double controlSizeMultiplier_ = 0.0;
  std::weak_ptr<OVAdVideoPlayerAudioMeters> audioMetersView_;
  std::weak_ptr<OVGradientView> gradientView_;
  std::weak_ptr<OVAdVideoPlayButton> playPauseButton_;
  std::weak_ptr<OVAdBlurredImageView> posterImageView_;
  std::weak_ptr<platform::GestureRecognizer> tapGestureRecognizer_;
  std::weak_ptr<platform::Label> timeRemainingLabel_;
  std::weak_ptr<OVAdVideoScrubber> videoScrubber_;
  std::shared_ptr<OVAdTimeObserver> progressTimeObserver_;
  std::shared_ptr<OVAdViewabilityValidator> viewabilityValidator_;
  // The application observers find the renderer through this while it
  // lives: they are registered while it is being made, before it is shared.
  std::shared_ptr<OVMediaViewDefaultVideoRenderer*> lifeline_;
  std::vector<std::uint64_t> observers_;
};

}  // namespace plexora

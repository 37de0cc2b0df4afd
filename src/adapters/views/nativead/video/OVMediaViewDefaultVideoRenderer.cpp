#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "adapters/views/video/OVAdVideoPlayButton.h"
#include "adapters/views/video/OVAdVideoPlayerAudioMeters.h"
#include "adapters/views/video/OVAdVideoScrubber.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/LayerStyle.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "plexora/OVAdImage.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

const platform::MediaTime kProgressInterval = platform::MediaTime::make(250, 1000);
constexpr std::int32_t kSeekTimescale = 1000;
constexpr double kInlineControlSize = 1.0;
constexpr double kFullscreenControlSize = 2.0;
constexpr double kSecondsPerDay = 24.0 * 3600.0;

// Frames of the controls at control size 1.
constexpr double kPlayButtonSize = 30.0;
constexpr double kLabelInset = 32.0;
constexpr double kLabelSize = 24.0;
constexpr double kLabelFontSize = 10.0;
constexpr double kMinimumLabelFontSize = 4.0;
constexpr double kLabelFontStep = 0.5;
constexpr double kUnboundedLabelWidth = 1.0e6;
constexpr double kScrubberInset = 32.0;
constexpr double kScrubberBottom = 36.0;
constexpr double kScrubberWidthInset = 72.0;
constexpr double kScrubberHeight = 24.0;
constexpr double kMetersRightMargin = 10.0;
constexpr double kMetersBottom = 24.0;

void onMainLater(std::weak_ptr<OVMediaViewDefaultVideoRenderer> renderer,
                 std::function<void(OVMediaViewDefaultVideoRenderer&)> work) {
  platform::DispatchQueue::main()->async([renderer = std::move(renderer), work = std::move(work)] {
    if (const auto alive = renderer.lock()) work(*alive);
  });
}

// The bold font of `size`, made smaller until the text fits the label's
// width, as a label that adjusts its font to fit its width does.
void fitLabelFont(platform::Label& label, double size) {
  const double width = label.bounds().size.width;
  label.setFont(platform::Font::boldSystemFont(size));
  while (size > kMinimumLabelFontSize && width > 0 &&
         label.sizeThatFits({kUnboundedLabelWidth, label.bounds().size.height}).width > width) {
    size -= kLabelFontStep;
    label.setFont(platform::Font::boldSystemFont(size));
  }
}

// A translucent control is drawn through a picture of its own as large as
// the clip it is drawn in, whatever its size: one laid out to nothing is
// hidden so it costs nothing, and one shown is masked to its own bounds
// (which it draws within) so its picture is no larger than itself.
void hideIfEmpty(platform::View& control) { control.setHidden(control.frame().isEmpty()); }
void maskToBounds(platform::View& control) {
  control.setMask(platform::RoundedCornerMask{platform::Rect({0, 0}, control.bounds().size)});
}

}  // namespace

OVMediaViewDefaultVideoRenderer::Maker& OVMediaViewDefaultVideoRenderer::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install(
        []() -> std::shared_ptr<OVMediaViewDefaultVideoRenderer> {
          return std::make_shared<OVMediaViewDefaultVideoRenderer>();
        });
  });
  return instance;
}

OVMediaViewDefaultVideoRenderer::OVMediaViewDefaultVideoRenderer()
    : lifeline_(std::make_shared<OVMediaViewDefaultVideoRenderer*>(this)) {
  setBackgroundColor(platform::Color::black());
  setClipsToBounds(true);
  auto& center = platform::NotificationCenter::defaultCenter();
  const std::weak_ptr<OVMediaViewDefaultVideoRenderer*> lifeline = lifeline_;
  observers_.push_back(center.addObserver(platform::kApplicationWillResignActiveNotification, nullptr,
                                          platform::DispatchQueue::main(), [lifeline](const platform::Notification&) {
                                            if (const auto renderer = lifeline.lock()) {
                                              (*renderer)->applicationWillResignActive();
                                            }
                                          }));
  observers_.push_back(center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr,
                                          platform::DispatchQueue::main(), [lifeline](const platform::Notification&) {
                                            if (const auto renderer = lifeline.lock()) {
                                              (*renderer)->applicationDidBecomeActive();
                                            }
                                          }));
}

OVMediaViewDefaultVideoRenderer::~OVMediaViewDefaultVideoRenderer() {
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const auto token : observers_) center.removeObserver(token);
  observers_.clear();
  if (viewabilityValidator_) viewabilityValidator_->stopViewabilityCheck();
}

std::shared_ptr<OVMediaViewDefaultVideoRenderer> OVMediaViewDefaultVideoRenderer::self() {
  return std::static_pointer_cast<OVMediaViewDefaultVideoRenderer>(sharedView());
}

// ---- Loading ----

void OVMediaViewDefaultVideoRenderer::loadVideoURL(const platform::URL& videoURL, const std::string& clientToken,
                                                   bool autoplayEnabled, Block loadedBlock, Block failureBlock) {
  removeProgressTimeObserver();
  OVMediaViewVideoRenderer::loadVideoURL(videoURL, clientToken, autoplayEnabled, std::move(loadedBlock),
                                         std::move(failureBlock));
  setAutoplayEnabled(autoplayEnabled);
}

void OVMediaViewDefaultVideoRenderer::setAutoplayEnabled(bool autoplayEnabled) {
  if (!autoplayEnabled) setupCoverImage();
  autoplayEnabled_ = autoplayEnabled;
}

// ---- Controls ----

void OVMediaViewDefaultVideoRenderer::buildLayout() {
  if (layoutBuilt_) return;
  layoutBuilt_ = true;
  const std::weak_ptr<OVMediaViewDefaultVideoRenderer> weakSelf = self();

  auto button = OVAdVideoPlayButton::videoPlayButton();
  button->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto renderer = weakSelf.lock()) renderer->startStopAction();
  });
  // Highlighted, the button shows the play symbol.
  button->setHighlighted(!autoplayEnabled_);
  button->setAlpha(kControlAlpha);
  addSubview(button);
  playPauseButton_ = button;

  auto label = std::make_shared<platform::Label>();
  label->setBackgroundColor(platform::Color::clear());
  label->setTextColor(platform::Color::white());
  label->setTextAlignment(platform::TextAlignment::Center);
  label->setAlpha(kControlAlpha);
  addSubview(label);
  timeRemainingLabel_ = label;

  auto scrubber = OVAdVideoScrubber::initWithFrame({});
  scrubber->setAlpha(kControlAlpha);
  scrubber->setMinimumValue(0.0F);
  scrubber->setValue(0.0F);
  scrubber->addAction(platform::kControlEventValueChanged, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto renderer = weakSelf.lock()) renderer->videoScrubberChanged();
  });
  scrubber->addAction(platform::kControlEventTouchDown, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto renderer = weakSelf.lock()) renderer->videoScrubberTouchDown();
  });
  scrubber->addAction(platform::kControlEventTouchUpInside | platform::kControlEventTouchUpOutside |
                          platform::kControlEventTouchCancel,
                      [weakSelf](platform::Control&, const platform::Event*) {
                        if (const auto renderer = weakSelf.lock()) renderer->videoScrubberTouchComplete();
                      });
  addSubview(scrubber);
  videoScrubber_ = scrubber;

  auto meters = OVAdVideoPlayerAudioMeters::create();
  meters->setHidesWhenStopped(true);
  addSubview(meters);
  audioMetersView_ = meters;

  const platform::Color shade = platform::Color::grey(0.0, kGradientShadeAlpha);
  auto gradient = OVGradientView::newWithColors({shade, platform::Color::clear(), platform::Color::clear(), shade});
  addSubview(gradient);
  gradientView_ = gradient;

  addGestureRecognizers();
  setInlineMode(true);
}

void OVMediaViewDefaultVideoRenderer::layoutSubviews() {
  OVMediaViewVideoRenderer::layoutSubviews();
  setupView();
}

void OVMediaViewDefaultVideoRenderer::setupView() {
  const double m = controlSizeMultiplier_;
  const double width = bounds().size.width;
  const double height = bounds().size.height;
  const auto poster = posterImageView_.lock();
  if (poster) poster->setFrame(bounds());
  if (!layoutBuilt_) return;
  const auto button = playPauseButton_.lock();
  const auto label = timeRemainingLabel_.lock();
  const auto scrubber = videoScrubber_.lock();
  const auto meters = audioMetersView_.lock();
  const auto gradient = gradientView_.lock();

  if (button) {
    button->setFrame(playPauseButtonEnabled_
                         ? platform::Rect(0, height - kPlayButtonSize * m, kPlayButtonSize * m, kPlayButtonSize * m)
                         : platform::Rect());
    hideIfEmpty(*button);
    maskToBounds(*button);
  }
  if (label) {
    label->setFrame({width - kLabelInset * m, height - kLabelSize * m, kLabelSize * m, kLabelSize * m});
    maskToBounds(*label);
    fitLabelFont(*label, kLabelFontSize * m);
  }
  if (scrubber) {
    scrubber->setFrame(scrubberEnabled_ && scrubber->playableDuration() > 0
                           ? platform::Rect(kScrubberInset * m, height - kScrubberBottom * m,
                                            width - kScrubberWidthInset * m, kScrubberHeight * m)
                           : platform::Rect());
    hideIfEmpty(*scrubber);
  }
  if (meters) {
    meters->sizeToFit();
    const platform::Size size = meters->frame().size;
    meters->setFrame({width - size.width - kMetersRightMargin, height - size.height - kMetersBottom * m, size.width,
                      size.height});
    if (playerIsPlaying_ && inlineMode_) {
      meters->startAnimating();
    } else {
      meters->stopAnimating();
    }
  }
  if (gradient) {
    gradient->setFrame(bounds());
    if (playerIsPlaying_) gradient->setAlpha(0.0);
  }

  if (poster && posterImage_ && !autoplayEnabled_) bringSubviewToFront(poster);
  for (const std::shared_ptr<platform::View>& view :
       {std::shared_ptr<platform::View>(gradient), std::shared_ptr<platform::View>(label),
        std::shared_ptr<platform::View>(scrubber), std::shared_ptr<platform::View>(button)}) {
    if (view) bringSubviewToFront(view);
  }
}

void OVMediaViewDefaultVideoRenderer::setInlineMode(bool inlineMode) {
  inlineMode_ = inlineMode;
  setTapEnabled(inlineMode);
  controlSizeMultiplier_ = inlineMode ? kInlineControlSize : kFullscreenControlSize;
  setScrubberEnabled(!inlineMode);
  playPauseButtonEnabled_ = true;
  if (inlineMode) setVolume(0.0F);
  setNeedsLayout();
}

void OVMediaViewDefaultVideoRenderer::setTapEnabled(bool tapEnabled) {
  tapEnabled_ = tapEnabled;
  if (tapEnabled) {
    addGestureRecognizers();
  } else {
    removeGestureRecognizers();
  }
}

void OVMediaViewDefaultVideoRenderer::addGestureRecognizers() {
  if (tapGestureRecognizer_.lock()) return;
  const std::weak_ptr<OVMediaViewDefaultVideoRenderer> weakSelf = self();
  auto recognizer = std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer& tap) {
    if (tap.state() != platform::GestureRecognizerState::Ended) return;
    if (const auto renderer = weakSelf.lock()) renderer->tap();
  });
  addGestureRecognizer(recognizer);
  tapGestureRecognizer_ = recognizer;
}

void OVMediaViewDefaultVideoRenderer::removeGestureRecognizers() {
  if (const auto recognizer = tapGestureRecognizer_.lock()) removeGestureRecognizer(recognizer);
  tapGestureRecognizer_.reset();
}

void OVMediaViewDefaultVideoRenderer::setScrubberEnabled(bool scrubberEnabled) {
  scrubberEnabled_ = scrubberEnabled;
  setNeedsLayout();
}

void OVMediaViewDefaultVideoRenderer::startStopAction() {
  if (playerIsPlaying_) {
    pauseVideo();
  } else {
    playVideo();
  }
}

void OVMediaViewDefaultVideoRenderer::tap() {
  if (const auto listener = delegate()) listener->defaultVideoRendererWasTapped(self());
}

void OVMediaViewDefaultVideoRenderer::videoScrubberTouchDown() { engageVideoSeek(); }

void OVMediaViewDefaultVideoRenderer::videoScrubberChanged() {
  engageVideoSeek();
  const auto scrubber = videoScrubber_.lock();
  if (!scrubber) return;
  seekVideoToTime(platform::MediaTime::make(static_cast<std::int64_t>(scrubber->value() * kSeekTimescale),
                                            kSeekTimescale));
}

void OVMediaViewDefaultVideoRenderer::videoScrubberTouchComplete() { disengageVideoSeek(); }

// ---- Progress and time display ----

void OVMediaViewDefaultVideoRenderer::addProgressTimeObserver() {
  removeProgressTimeObserver();
  const std::weak_ptr<OVMediaViewDefaultVideoRenderer> weakSelf = self();
  progressTimeObserver_ = addPeriodicTimeObserverForInterval(
      kProgressInterval, platform::DispatchQueue::main(), [weakSelf](const platform::MediaTime&) {
        if (const auto renderer = weakSelf.lock()) renderer->onVideoProgress();
      });
}

void OVMediaViewDefaultVideoRenderer::removeProgressTimeObserver() {
  if (progressTimeObserver_) removeTimeObserver(progressTimeObserver_);
  progressTimeObserver_.reset();
}

void OVMediaViewDefaultVideoRenderer::onVideoProgress() { updateUserInterface(); }

void OVMediaViewDefaultVideoRenderer::updateUserInterface() { updateUserInterfaceAt(currentTime()); }

void OVMediaViewDefaultVideoRenderer::updateUserInterfaceAt(const platform::MediaTime& time) {
  const platform::MediaTime length = duration();
  if (length.isIndefinite()) return;
  const double d = length.seconds();
  const double c = time.isNumeric() ? time.seconds() : 0.0;
  const double remaining = std::ceil(d - c);
  if (const auto label = timeRemainingLabel_.lock()) {
    label->setText(remainingTimeLabel(remaining, d));
    fitLabelFont(*label, kLabelFontSize * controlSizeMultiplier_);
  }
  if (const auto scrubber = videoScrubber_.lock()) {
    scrubber->setMaximumValue(static_cast<float>(d));
    scrubber->setPlayableDuration(d);
    scrubber->setValue(static_cast<float>(c), true);
  }
}

std::string OVMediaViewDefaultVideoRenderer::remainingTimeLabel(double remainingSeconds, double duration) {
  // A time of day after midnight, as a clock shows it: a day or more starts
  // again from zero. A time that is not a finite number shows as none left.
  const double left = std::isfinite(remainingSeconds) && remainingSeconds > 0.0 ? remainingSeconds : 0.0;
  const double wrapped = std::fmod(left, kSecondsPerDay);
  const auto total = static_cast<long>(std::floor(wrapped));
  const long hours = total / 3600;
  const long minutes = (total / 60) % 60;
  const long seconds = total % 60;
  char text[32];
  if (duration >= 3600.0) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, seconds);
  } else if (duration >= 600.0) {
    std::snprintf(text, sizeof text, "%02ld:%02ld", minutes, seconds);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", minutes, seconds);
  }
  return text;
}

// ---- Cover image ----

void OVMediaViewDefaultVideoRenderer::setupCoverImage() {
  if (posterImageView_.lock()) return;
  auto poster = OVAdBlurredImageView::create();
  poster->setFrame(bounds());
  addSubview(poster);
  posterImageView_ = poster;
}

void OVMediaViewDefaultVideoRenderer::setPosterImage(std::shared_ptr<OVAdImage> posterImage) {
  if (posterImage != posterImage_) {
    if (const auto poster = posterImageView_.lock()) {
      poster->setImage(nullptr);
    }
  }
  posterImage_ = std::move(posterImage);
  updateCoverImage();
}

void OVMediaViewDefaultVideoRenderer::updateCoverImage() {
  enableCoverImageIfNeeded();
  // Blurring a cover is costly; without a poster view (autoplay) nothing
  // would show it.
  if (!posterImage_ || !posterImageView_.lock()) return;
  const std::weak_ptr<OVAdBlurredImageView> weakPoster = posterImageView_;
  const std::weak_ptr<OVMediaViewDefaultVideoRenderer> weakSelf = self();
  const std::shared_ptr<OVAdImage> record = posterImage_;
  OVAdImage::loadImagesAsyncWithBlurredImages(
      {posterImage_}, true,
      [weakSelf, weakPoster, record](const OVAdImage::ImagesByRole& images, const OVAdImage::ImagesByURL& blurred) {
        const auto renderer = weakSelf.lock();
        const auto poster = weakPoster.lock();
        // A later poster replaced this one.
        if (!renderer || !poster || renderer->posterImage_ != record) return;
        if (!images.empty()) poster->setImage(images.rbegin()->second);
        if (!blurred.empty()) poster->setBlurredImage(blurred.rbegin()->second);
      });
}

void OVMediaViewDefaultVideoRenderer::enableCoverImageIfNeeded() {
  const auto poster = posterImageView_.lock();
  if (poster && posterImage_ && !autoplayEnabled_) poster->setHidden(false);
}

void OVMediaViewDefaultVideoRenderer::disableCoverImageIfNeeded() {
  const auto poster = posterImageView_.lock();
  if (!poster || !posterImage_ || autoplayEnabled_) return;
  poster->setHidden(true);
  sendSubviewToBack(poster);
}

// ---- Hooks ----

void OVMediaViewDefaultVideoRenderer::videoDidLoad() {
  updateUserInterface();
  videoCurrentlyShownToUser_ = false;
  addProgressTimeObserver();
  if (viewabilityValidator_) viewabilityValidator_->stopViewabilityCheck();
  viewabilityValidator_ = OVAdViewabilityValidator::initWithView(self(), kMinViewabilityPercentage, true);
  if (viewabilityValidator_) {
    viewabilityValidator_->setDelegate(std::weak_ptr<OVAdViewabilityValidatorDelegate>(self()));
    viewabilityValidator_->scheduleViewabilityCheckWithInterval(kViewabilityCheckInterval, 0.0);
  }
  buildLayout();
}

void OVMediaViewDefaultVideoRenderer::videoDidPlay() {
  playerIsPlaying_ = true;
  onMainLater(self(), [](OVMediaViewDefaultVideoRenderer& renderer) {
    renderer.disableCoverImageIfNeeded();
    if (const auto button = renderer.playPauseButton()) button->setHighlighted(false);
    renderer.setNeedsLayout();
  });
  if (const auto gradient = gradientView_.lock()) OVAdUtility::animateWithFadeOut({gradient}, nullptr);
  if (const auto listener = delegate()) listener->defaultVideoRendererDidPlay(self());
}

void OVMediaViewDefaultVideoRenderer::videoDidPause() {
  onVideoStopped();
  if (const auto listener = delegate()) listener->defaultVideoRendererDidPause(self());
}

void OVMediaViewDefaultVideoRenderer::videoDidEnd() {
  if (const auto scrubber = videoScrubber_.lock()) scrubber->setValue(0.0F, false);
  // The video is about to rest at its start: the display shows that, not
  // the end the player still reports until its rewind has run.
  updateUserInterfaceAt(platform::MediaTime::zero());
  onVideoStopped();
  if (const auto listener = delegate()) listener->defaultVideoRendererVideoDidComplete(self());
}

void OVMediaViewDefaultVideoRenderer::videoDidFailWithError(const platform::Error&) { playerIsPlaying_ = false; }

void OVMediaViewDefaultVideoRenderer::videoDidChangeVolume() {
  // The first change is the muting of inline mode, not the viewer's.
  if (volumeWasSet_) {
    if (const auto listener = delegate()) listener->defaultVideoRenderer(self(), volume());
  }
  volumeWasSet_ = true;
}

void OVMediaViewDefaultVideoRenderer::onVideoStopped() {
  playerIsPlaying_ = false;
  onMainLater(self(), [](OVMediaViewDefaultVideoRenderer& renderer) {
    if (const auto button = renderer.playPauseButton()) button->setHighlighted(true);
    renderer.setNeedsLayout();
  });
  if (const auto gradient = gradientView_.lock()) OVAdUtility::animateWithFadeIn({gradient}, nullptr);
}

// ---- Viewability and application state ----

bool OVMediaViewDefaultVideoRenderer::viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>&,
                                                           OVAdViewabilityStatus status) {
  if (status == OVAdViewabilityStatus::Viewable) {
    if (!videoCurrentlyShownToUser_ && !playbackSuspended_) {
      if (autoplayEnabled_) playVideo();
      videoCurrentlyShownToUser_ = true;
    }
  } else if (playerIsPlaying_) {
    pauseVideo();
    videoCurrentlyShownToUser_ = false;
  }
  // Keeps checking for as long as the validator lives.
  return false;
}

void OVMediaViewDefaultVideoRenderer::applicationWillResignActive() {
  if (!playerIsPlaying_) return;
  playbackSuspended_ = true;
  videoCurrentlyShownToUser_ = false;
  pauseVideo();
}

void OVMediaViewDefaultVideoRenderer::applicationDidBecomeActive() {
  if (playbackSuspended_) playVideo();
  playbackSuspended_ = false;
}

}  // namespace plexora

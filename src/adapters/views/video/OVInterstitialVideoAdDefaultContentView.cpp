#include "adapters/views/video/OVInterstitialVideoAdDefaultContentView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/video/OVAdTimeObserver.h"
#include "adapters/views/video/OVAdVideoPlayPauseButton.h"
#include "adapters/views/video/OVAdVideoProgressBar.h"
#include "adapters/views/video/OVInstreamAdChoicesIcon.h"
#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "adapters/views/video/OVInterstitialVideoAdCloseButton.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/LayerStyle.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdImage.h"
#include "server/OVAdConnectionInfo.h"
#include "tracking/OVAdEventManager.h"
#include "tracking/OVAdVideoLoggingEvent.h"
#include "util/OVAdError.h"
#include "util/OVAdScreen.h"
#include "util/OVAdTimer.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

using platform::Color;
using platform::MediaTime;

constexpr Color kDefaultAccentColor{0.31F, 0.51F, 0.97F, 1.0};
constexpr Color kGradientBottomColor = Color::grey(0.067F, 1.0);
constexpr double kTitleFontSize = 18.0;
constexpr int kTitleLines = 2;
constexpr int kSubtitleLines = 3;
constexpr double kCallToActionCornerRadius = 5.0;
constexpr std::int32_t kMillisecondsTimescale = 1000;
// Thirty times a second.
constexpr std::int64_t kProgressIntervalValue = 100;
constexpr std::int32_t kProgressIntervalTimescale = 3000;
constexpr double kUnboundedWidth = std::numeric_limits<double>::max();

Color colorOf(const std::optional<OVAdColor>& color, Color fallback) {
  return color ? Color{color->red, color->green, color->blue, color->alpha} : fallback;
}

std::shared_ptr<OVVideoAdLabel> detailLabel(const std::string& text, int lines) {
  auto label = std::make_shared<OVVideoAdLabel>();
  label->setText(text);
  label->setAlpha(1.0);
  label->setBackgroundColor(Color::clear());
  label->setNumberOfLines(lines);
  label->setLineBreakMode(platform::LineBreakMode::TruncatingTail);
  return label;
}

// The height of one line of the label's text.
double lineHeight(const platform::Label& label) {
  platform::Label probe;
  probe.setFont(label.font());
  probe.setText("X");
  probe.setNumberOfLines(1);
  return probe.sizeThatFits({kUnboundedWidth, 0.0}).height;
}

}  // namespace

// The library's own content view unless a test installs another.
OVInterstitialVideoAdContentView::Maker& OVInterstitialVideoAdContentView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([]() -> std::shared_ptr<OVInterstitialVideoAdContentView> {
      return OVInterstitialVideoAdDefaultContentView::create();
    });
  });
  return instance;
}

std::shared_ptr<OVInterstitialVideoAdDefaultContentView> OVInterstitialVideoAdDefaultContentView::create() {
  auto view = std::make_shared<OVInterstitialVideoAdDefaultContentView>();
  view->setBackgroundColor(Color::black());
  view->accentColor_ = kDefaultAccentColor;
  return view;
}

OVInterstitialVideoAdDefaultContentView::~OVInterstitialVideoAdDefaultContentView() {
  if (toggleViewsTimer_) toggleViewsTimer_->invalidate();
  removeAnimationProgressTimingObserver();
  removeObservers();
}

std::shared_ptr<OVInterstitialVideoAdDefaultContentView> OVInterstitialVideoAdDefaultContentView::self() {
  return std::static_pointer_cast<OVInterstitialVideoAdDefaultContentView>(shared_from_this());
}

// ---- Loading ----

void OVInterstitialVideoAdDefaultContentView::loadAdFromDataModel(
    const std::shared_ptr<OVInstreamAdDataModel>& dataModel) {
  dataModel_ = dataModel;
  if (!dataModel) return;
  clientToken_ = dataModel->inlineClientToken().value_or("");
  imagesLoaded_ = false;
  videoLoaded_ = false;
  autoplay_ = dataModel->autoplay();
  defaultPersistentAdDetails_ = dataModel->persistentAdDetails();
  accentColor_ = colorOf(dataModel->accentColor(), kDefaultAccentColor);
  defaultBackgroundColor_ = colorOf(dataModel->backgroundColor(), Color::black());
  defaultTextColor_ = colorOf(dataModel->textColor(), Color::white());
  if (dataModel->callToActionURL()) callToActionText_ = dataModel->callToActionText();
  if (const auto seconds = dataModel->skippableSeconds()) {
    skippableTime_ =
        MediaTime::make(static_cast<std::int64_t>(*seconds * kMillisecondsTimescale), kMillisecondsTimescale);
  }

  videoView_ = OVAdVideoView::init();
  videoView_->setDelegate(std::weak_ptr<OVAdVideoViewDelegate>(self()));
  addTap(videoView_, &OVInterstitialVideoAdDefaultContentView::backgroundTapped);
  auto url = dataModel->videoURL();
  if (dataModel->videoHDURL() && OVAdConnectionInfo::currentConnectionCategory() == kOVAdConnectionTypeWiFi) {
    url = dataModel->videoHDURL();
  }
  if (url) {
    videoView_->loadVideoURL(*url, clientToken_, autoplay_);
  } else {
    // A model without a video is not valid; nothing would ever load.
    videoView(videoView_, OVAdError::getNSError(kOVAdErrorCodeNetworkError));
    return;
  }

  if (const auto& title = dataModel->title()) {
    titleView_ = detailLabel(*title, kTitleLines);
    titleView_->setFont(platform::Font::boldSystemFont(kTitleFontSize));
  }
  if (const auto& subtitle = dataModel->subtitle()) {
    subtitleView_ = detailLabel(*subtitle, kSubtitleLines);
    subtitleView_->setTextAlignment(platform::TextAlignment::Left);
  }
  setAdDetailsTextColor(defaultTextColor_);
  gradientView_ = OVGradientView::newWithColors({Color::clear(), kGradientBottomColor});

  std::vector<std::shared_ptr<OVAdImage>> images;
  if (dataModel->icon()) images.push_back(dataModel->icon());
  if (dataModel->image()) images.push_back(dataModel->image());
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  OVAdImage::loadImagesAsync(images, [weakSelf](const OVAdImage::ImagesByRole& loaded, const OVAdImage::ImagesByURL&) {
    const auto view = weakSelf.lock();
    if (!view) return;
    view->imagesLoaded_ = true;
    if (const auto icon = loaded.find(kOVAdImageTypeIcon); icon != loaded.end() && icon->second) {
      view->iconView_ = std::make_shared<platform::ImageView>(icon->second);
    }
    if (const auto cover = loaded.find(kOVAdImageTypeCover); cover != loaded.end() && cover->second) {
      view->imageView_ = std::make_shared<platform::ImageView>(cover->second);
    }
    view->registerLoaded();
  });
}

void OVInterstitialVideoAdDefaultContentView::registerLoaded() {
  if (!imagesLoaded_ || !videoLoaded_) return;
  if (const auto target = delegate()) target->contentViewDidLoad(self());
}

// ---- Start ----

void OVInterstitialVideoAdDefaultContentView::startFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  if (started_ || !videoView_) return;
  started_ = true;
  rootViewController_ = rootViewController;
  addSubview(videoView_);
  if (imageView_) {
    imageView_->setHidden(autoplay_);
    addSubview(imageView_);
  }
  addSubview(gradientView_);
  addProgressBar();
  addCallToActionView();
  addAdChoicesView();
  if (iconView_ || titleView_ || subtitleView_) {
    adDetailsView_ = std::make_shared<platform::View>();
    for (const auto& part : Views{iconView_, subtitleView_, titleView_}) {
      if (part) adDetailsView_->addSubview(part);
    }
    addSubview(adDetailsView_);
  }
  addPlayPauseButton();
  addCloseButton();
  addObservers();
  addAnimationProgressTimingObserver();
  addTap(self(), &OVInterstitialVideoAdDefaultContentView::backgroundTapped);
  if (autoplay_) {
    videoView_->playVideo();
    progressBar_->setHidden(false);
  } else {
    resetPlayer();
  }
  setNeedsLayout();
}

// ---- Elements ----

void OVInterstitialVideoAdDefaultContentView::addTap(const std::shared_ptr<platform::View>& view,
                                                     void (OVInterstitialVideoAdDefaultContentView::*tapped)()) {
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  view->addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weakSelf, tapped](auto&) {
    if (const auto view = weakSelf.lock()) ((*view).*tapped)();
  }));
}

void OVInterstitialVideoAdDefaultContentView::addProgressBar() {
  progressBar_ = OVAdVideoProgressBar::init();
  progressBar_->setDuration(duration());
  progressBar_->setProgressColor(accentColor_);
  progressBar_->setBackgroundColor(Color::black());
  addSubview(progressBar_);
}

void OVInterstitialVideoAdDefaultContentView::addCallToActionView() {
  if (!callToActionText_) return;
  if (callToActionView_) callToActionView_->removeFromSuperview();
  callToActionView_ = OVInstreamLearnMoreView::initWithText(*callToActionText_);
  callToActionView_->setFont(platform::Font::boldSystemFont(callToActionView_->font().pointSize));
  callToActionView_->setNumberOfLines(1);
  callToActionView_->setLineBreakMode(platform::LineBreakMode::Clipping);
  callToActionView_->setBackgroundColor(accentColor_);
  callToActionView_->setTextColor(Color::white());
  callToActionView_->setCornerRadius(kCallToActionCornerRadius);
  callToActionView_->setClipsToBounds(true);
  callToActionView_->setUserInteractionEnabled(true);
  addTap(callToActionView_, &OVInterstitialVideoAdDefaultContentView::callToActionViewTapped);
  addSubview(callToActionView_);
}

void OVInterstitialVideoAdDefaultContentView::addAdChoicesView() {
  const auto presenter = rootViewController_ ? rootViewController_->currentViewController() : nullptr;
  adChoicesView_ = OVAdChoicesView::initWithViewController(presenter, clientToken_, OVInstreamAdChoicesIcon::init(),
                                                           platform::URL::parse(kOVInterstitialVideoAdChoicesLink),
                                                           std::nullopt, nullptr, true);
  adChoicesView_->setDelegate(std::weak_ptr<OVAdChoicesViewDelegate>(self()));
  addSubview(adChoicesView_);
  // The top-left corner: the close button holds the top-right one.
  adChoicesView_->updateFrameFromSuperview(platform::kRectCornerTopLeft);
}

void OVInterstitialVideoAdDefaultContentView::addPlayPauseButton() {
  playPauseButton_ = OVAdVideoPlayPauseButton::videoPlayPauseButton();
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  playPauseButton_->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const auto*) {
    if (const auto view = weakSelf.lock()) view->playPauseButtonTapped();
  });
  playPauseButton_->setAlpha(0.0);
  addSubview(playPauseButton_);
}

void OVInterstitialVideoAdDefaultContentView::addCloseButton() {
  if (!skippable()) return;
  if (closeButtonView_) closeButtonView_->removeFromSuperview();
  closeButtonView_ = OVInterstitialVideoAdCloseButton::initWithDuration(skippableTime_);
  closeButtonView_->setProgressColor(accentColor_);
  closeButtonView_->setUserInteractionEnabled(true);
  addTap(closeButtonView_, &OVInterstitialVideoAdDefaultContentView::closeButtonViewTapped);
  addSubview(closeButtonView_);
}

void OVInterstitialVideoAdDefaultContentView::addObservers() {
  removeObservers();
  auto& center = platform::NotificationCenter::defaultCenter();
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  applicationObservers_.push_back(center.addObserver(platform::kApplicationWillResignActiveNotification, nullptr,
                                                     platform::DispatchQueue::main(),
                                                     [weakSelf](const platform::Notification&) {
                                                       // Paused by the system, not by the user: `paused` stays as it
                                                       // is.
                                                       if (const auto view = weakSelf.lock(); view && view->videoView_)
                                                         view->videoView_->pauseVideo();
                                                     }));
  applicationObservers_.push_back(
      center.addObserver(platform::kApplicationDidBecomeActiveNotification, nullptr, platform::DispatchQueue::main(),
                         [weakSelf](const platform::Notification&) {
                           if (const auto view = weakSelf.lock(); view && view->videoView_ && !view->paused_)
                             view->videoView_->playVideo();
                         }));
}

void OVInterstitialVideoAdDefaultContentView::removeObservers() {
  for (const auto token : applicationObservers_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  applicationObservers_.clear();
}

void OVInterstitialVideoAdDefaultContentView::addAnimationProgressTimingObserver() {
  removeAnimationProgressTimingObserver();
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  progressObserver_ = videoView_->addPeriodicTimeObserverForInterval(
      MediaTime::make(kProgressIntervalValue, kProgressIntervalTimescale), platform::DispatchQueue::main(),
      [weakSelf](const MediaTime&) {
        if (const auto view = weakSelf.lock()) view->handleAnimationProgress();
      });
}

void OVInterstitialVideoAdDefaultContentView::removeAnimationProgressTimingObserver() {
  if (progressObserver_ && videoView_) videoView_->removeTimeObserver(progressObserver_);
  progressObserver_.reset();
}

void OVInterstitialVideoAdDefaultContentView::handleAnimationProgress() {
  if (!videoView_) return;
  const auto time = videoView_->currentTime();
  if (closeButtonView_) closeButtonView_->setCurrentTime(time);
  if (progressBar_) {
    progressBar_->setDuration(duration());
    progressBar_->setCurrentTime(time);
  }
}

// ---- Values ----

MediaTime OVInterstitialVideoAdDefaultContentView::currentTime() const {
  return videoView_ ? videoView_->currentTime() : MediaTime::zero();
}

MediaTime OVInterstitialVideoAdDefaultContentView::duration() const {
  return videoView_ ? videoView_->duration() : MediaTime::indefinite();
}

float OVInterstitialVideoAdDefaultContentView::volume() const { return videoView_ ? videoView_->volume() : 1.0F; }

MediaTime OVInterstitialVideoAdDefaultContentView::skipRemainingTime() const {
  if (!skippable()) return MediaTime::invalid();
  const MediaTime left = platform::subtract(skippableTime_, currentTime());
  return left > MediaTime::zero() ? left : MediaTime::zero();
}

double OVInterstitialVideoAdDefaultContentView::videoAspectRatio() const {
  return OVInterstitialVideoAdLayout::aspectRatio(videoView_ ? videoView_->aspectRatio() : 0.0);
}

// ---- Playback ----

void OVInterstitialVideoAdDefaultContentView::pause() {
  if (!videoView_ || !videoView_->isPlaying()) return;
  paused_ = true;
  videoView_->pauseVideo();
  if (const auto target = delegate()) target->contentViewDidPause(self());
}

void OVInterstitialVideoAdDefaultContentView::resume() {
  if (!videoView_ || videoView_->isPlaying()) return;
  paused_ = false;
  videoView_->playVideo();
  if (progressBar_) progressBar_->setHidden(false);
  if (const auto target = delegate()) target->contentViewDidResume(self());
}

void OVInterstitialVideoAdDefaultContentView::resetPlayer() {
  cancelAnimateViews();
  showAdDetails();
  showPlayerControls();
  if (imageView_) imageView_->setHidden(false);
  if (progressBar_) progressBar_->setHidden(true);
  if (playPauseButton_) playPauseButton_->setHighlighted(true);
  paused_ = true;
}

void OVInterstitialVideoAdDefaultContentView::cleanLayout() {
  if (videoView_) videoView_->pauseVideo();
  removeAnimationProgressTimingObserver();
  removeObservers();
  for (const auto& view :
       Views{adChoicesView_, callToActionView_, closeButtonView_, titleView_, subtitleView_, videoView_}) {
    if (view) view->removeFromSuperview();
  }
}

// ---- Taps ----

void OVInterstitialVideoAdDefaultContentView::closeButtonViewTapped() {
  if (skipRemainingTime() > MediaTime::zero()) return;
  cleanLayout();
  if (videoEnded_) {
    if (const auto target = delegate()) target->contentViewDidUnload(self());
    return;
  }
  const auto event = OVAdVideoLoggingEvent::loggingEventWithAction(OVAdVideoAction::kSkip, videoView_.get(), autoplay_,
                                                                   currentTime().seconds());
  if (!event.loggingParams().empty()) {
    OVAdEventManager::sharedManager()->logVideoEventForToken(clientToken_, event.loggingParams());
  }
  if (const auto target = delegate()) target->contentViewDidSkip(self());
}

void OVInterstitialVideoAdDefaultContentView::callToActionViewTapped() {
  if (const auto target = delegate()) target->contentViewDidClickthrough(self());
}

void OVInterstitialVideoAdDefaultContentView::playPauseButtonTapped() {
  if (!paused_) {
    pause();
    const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
    platform::DispatchQueue::main()->async([weakSelf] {
      if (const auto view = weakSelf.lock(); view && view->playPauseButton_)
        view->playPauseButton_->setHighlighted(true);
    });
    cancelAnimateViews();
    return;
  }
  resume();
  if (imageView_) imageView_->setHidden(true);
  if (playPauseButton_) playPauseButton_->setHighlighted(false);
  scheduleHideAll();
}

void OVInterstitialVideoAdDefaultContentView::backgroundTapped() { toggleAll(); }

// ---- What the video view reports ----

void OVInterstitialVideoAdDefaultContentView::videoViewDidLoad(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {
  videoLoaded_ = true;
  registerLoaded();
}

void OVInterstitialVideoAdDefaultContentView::videoViewDidEnd(const std::shared_ptr<OVAdVideoView>& /*videoView*/) {
  videoEnded_ = true;
  skippableTime_ = MediaTime::zero();
  // Every ad can be closed at its end, also one that could not be skipped.
  if (!closeButtonView_) {
    addCloseButton();
    setNeedsLayout();
  }
  closeButtonView_->setDuration(MediaTime::zero());
  resetPlayer();
  if (const auto target = delegate()) target->contentViewDidEnd(self());
}

void OVInterstitialVideoAdDefaultContentView::videoView(const std::shared_ptr<OVAdVideoView>& /*videoView*/,
                                                        const platform::Error& error) {
  cleanLayout();
  const platform::Dictionary cause{
      {kOVInterstitialVideoAdCauseDomainKey, error.domain()},
      {kOVInterstitialVideoAdCauseCodeKey, platform::Value(error.code())},
      {kOVInterstitialVideoAdCauseDescriptionKey, error.localizedDescription()},
  };
  if (const auto target = delegate()) {
    target->contentView(self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError, std::nullopt, cause));
  }
}

void OVInterstitialVideoAdDefaultContentView::adChoicesViewWillPresentViewController(
    const std::shared_ptr<OVAdChoicesView>& /*view*/, const std::shared_ptr<platform::ViewController>& /*controller*/) {
  if (videoView_) videoView_->pauseVideo();
}

void OVInterstitialVideoAdDefaultContentView::adChoicesViewViewControllerCompleted(
    const std::shared_ptr<OVAdChoicesView>& /*view*/, const std::shared_ptr<platform::ViewController>& /*controller*/) {
  if (videoView_ && !paused_) videoView_->playVideo();
}

// ---- Layout ----

void OVInterstitialVideoAdDefaultContentView::layoutSubviews() {
  OVInterstitialVideoAdLayoutInput input;
  input.size = bounds().size;
  input.orientation = OVAdScreen::orientation();
  input.aspect = videoAspectRatio();
  input.hasCallToAction = callToActionView_ != nullptr;
  if (callToActionView_) input.callToActionFittingWidth = callToActionView_->sizeThatFits({0.0, 0.0}).width;
  input.hasIcon = iconView_ != nullptr && adDetailsView_ != nullptr;
  if (titleView_) {
    const auto title = titleView_;
    input.titleFit = [title](double width) { return title->sizeThatFits({width, 0.0}); };
  }
  if (subtitleView_) {
    const auto subtitle = subtitleView_;
    input.subtitleFit = [subtitle](double width) { return subtitle->sizeThatFits({width, 0.0}); };
    input.subtitleLineHeight = lineHeight(*subtitleView_);
  }
  if (!(input.size.width > 0.0 && input.size.height > 0.0)) return;
  const auto frames = OVInterstitialVideoAdLayout::layout(input);
  applyLayout(frames);
  showAdDetails();
  if (frames.isList()) {
    scheduleHideViews(playerControlViews());
  } else {
    scheduleHideAll();
  }
}

void OVInterstitialVideoAdDefaultContentView::applyLayout(const OVInterstitialVideoAdLayoutFrames& frames) {
  layoutKind_ = frames.kind;
  if (frames.isList()) {
    adDetailsPersistent_ = true;
    setAdDetailsTextColor(defaultTextColor_);
    setBackgroundColor(defaultBackgroundColor_);
  } else {
    adDetailsPersistent_ = defaultPersistentAdDetails_;
    setAdDetailsTextColor(Color::white());
    setBackgroundColor(Color::black());
  }
  if (videoView_) videoView_->setFrame(frames.video);
  if (imageView_) imageView_->setFrame(frames.video);
  if (playPauseButton_) playPauseButton_->setFrame(frames.playPause);
  if (progressBar_) progressBar_->setFrame(frames.progressBar);
  if (callToActionView_ && frames.callToAction) callToActionView_->setFrame(*frames.callToAction);
  if (gradientView_) {
    gradientView_->setHidden(!frames.gradient);
    if (frames.gradient) gradientView_->setFrame(*frames.gradient);
  }
  if (adDetailsView_ && frames.details) adDetailsView_->setFrame(*frames.details);
  if (iconView_ && frames.icon) iconView_->setFrame(*frames.icon);
  if (titleView_ && frames.title) {
    titleView_->setFrame(*frames.title);
    titleView_->setTextAlignment(frames.titleCentered ? platform::TextAlignment::Center
                                                      : platform::TextAlignment::Left);
  }
  if (subtitleView_ && frames.subtitle) {
    subtitleView_->setFrame(*frames.subtitle);
    subtitleView_->setTextAlignment(frames.subtitleCentered ? platform::TextAlignment::Center
                                                            : platform::TextAlignment::Left);
  }
  if (closeButtonView_) closeButtonView_->setFrame(frames.closeButton);
  if (adChoicesView_) adChoicesView_->updateFrameFromSuperview(platform::kRectCornerTopLeft);
}

void OVInterstitialVideoAdDefaultContentView::setAdDetailsTextColor(Color color) {
  if (titleView_) titleView_->setTextColor(color);
  if (subtitleView_) subtitleView_->setTextColor(color);
}

// ---- Fades ----

OVInterstitialVideoAdDefaultContentView::Views OVInterstitialVideoAdDefaultContentView::adDetailViews() const {
  Views views;
  if (gradientView_) views.push_back(gradientView_);
  if (adDetailsView_) views.push_back(adDetailsView_);
  return views;
}

OVInterstitialVideoAdDefaultContentView::Views OVInterstitialVideoAdDefaultContentView::playerControlViews() const {
  Views views;
  if (playPauseButton_) views.push_back(playPauseButton_);
  return views;
}

void OVInterstitialVideoAdDefaultContentView::showAdDetails() {
  for (const auto& view : adDetailViews()) view->setAlpha(1.0);
}

void OVInterstitialVideoAdDefaultContentView::showPlayerControls() {
  for (const auto& view : playerControlViews()) view->setAlpha(1.0);
}

void OVInterstitialVideoAdDefaultContentView::scheduleHideAll() {
  Views views = playerControlViews();
  if (!adDetailsPersistent_) {
    const Views details = adDetailViews();
    views.insert(views.end(), details.begin(), details.end());
  }
  scheduleHideViews(views);
}

void OVInterstitialVideoAdDefaultContentView::toggleAll() {
  Views views = playerControlViews();
  if (!adDetailsPersistent_) {
    const Views details = adDetailViews();
    views.insert(views.end(), details.begin(), details.end());
  }
  toggleViews(views);
}

void OVInterstitialVideoAdDefaultContentView::toggleViews(const Views& views) {
  const bool anyHidden = std::any_of(views.begin(), views.end(), [](const auto& view) { return view->alpha() < 1.0; });
  if (anyHidden) {
    animateShowViews(views);
  } else {
    animateHideViews(views);
  }
}

void OVInterstitialVideoAdDefaultContentView::animateShowViews(const Views& views) {
  if (animating_ || paused_ || views.empty()) return;
  cancelAnimateViews();
  animating_ = true;
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  OVAdUtility::animateWithFadeIn(views, kFadeDuration, [weakSelf, views](bool) {
    const auto view = weakSelf.lock();
    if (!view) return;
    view->animating_ = false;
    view->scheduleHideViews(views);
  });
}

void OVInterstitialVideoAdDefaultContentView::animateHideViews(const Views& views) {
  if (animating_ || paused_ || views.empty()) return;
  cancelAnimateViews();
  animating_ = true;
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  OVAdUtility::animateWithFadeOut(views, kFadeDuration, [weakSelf](bool) {
    if (const auto view = weakSelf.lock()) view->animating_ = false;
  });
}

void OVInterstitialVideoAdDefaultContentView::scheduleHideViews(const Views& views) {
  cancelAnimateViews();
  const std::weak_ptr<OVInterstitialVideoAdDefaultContentView> weakSelf = self();
  toggleViewsTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(kHideDelay, false,
                                                                [weakSelf, views](const std::shared_ptr<OVAdTimer>&) {
                                                                  if (const auto view = weakSelf.lock()) {
                                                                    view->animateHideViews(views);
                                                                  }
                                                                });
}

void OVInterstitialVideoAdDefaultContentView::cancelAnimateViews() {
  if (toggleViewsTimer_) toggleViewsTimer_->invalidate();
  toggleViewsTimer_.reset();
}

}  // namespace plexora

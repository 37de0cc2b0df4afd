#include "adapters/views/video/OVRewardedVideoAdEngineView.h"

#include <algorithm>
#include <mutex>

#include "adapters/OVRewardedVideoAdDataModel.h"
#include "adapters/views/nativead/OVGradientView.h"
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"
#include "adapters/views/video/OVAdVideoPlayPauseButton.h"
#include "adapters/views/video/OVAdVideoProgressBar.h"
#include "adapters/views/video/OVAdVideoSkipButton.h"
#include "adapters/views/video/OVRewardedVideoAdOverlayFader.h"
#include "adapters/views/video/OVVideoAdLabel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/SystemPlayer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "plexora/OVAdErrorDomain.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"
#include "util/compatibility/OVAdFileVideoAsset.h"
#include "util/qnv/asset/QNVAssetForCache.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/player/QNVPlayer.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/render/QNVPlayerRenderer.h"

namespace plexora {

namespace {

constexpr const char* kTracksKey = "tracks";
constexpr const char* kDurationKey = "duration";
constexpr const char* kPlayableKey = "playable";
constexpr const char* kUnsupportedAssetMessage = "Asset is an unsupported type";
constexpr const char* kInvalidResponseMessage = "Asset returning invalid response";
// The failure told when the player has no error of its own to give.
constexpr const char* kPlaybackFailedMessage = "Video playback failed";

constexpr double kTitleFontSize = 18.0;
constexpr int kTitleLines = 2;
constexpr int kSubtitleLines = 3;
constexpr double kGradientBottomWhite = 0.067;

// The accent of the video surfaces.
constexpr platform::Color kProgressColor{0.31, 0.51, 0.97, 1.0};

}  // namespace

OVRewardedVideoAdView::Maker& OVRewardedVideoAdView::maker() {
  static Maker instance;
  static std::once_flag installed;
  std::call_once(installed, [] {
    instance.install([](const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
                        std::int32_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController)
                         -> std::shared_ptr<OVRewardedVideoAdView> {
      return OVRewardedVideoAdEngineView::initWithPlacementID(placementID, adData, minViewability, rootViewController);
    });
  });
  return instance;
}

// ---- Making ----

std::shared_ptr<OVRewardedVideoAdEngineView> OVRewardedVideoAdEngineView::initWithPlacementID(
    const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
    std::int32_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  if (!rootViewController) {
    OVAdUtility::throwExceptionWithName(platform::kInvalidArgumentException,
                                        kOVRewardedVideoAdRootViewControllerNilReason);
  }
  auto view = std::make_shared<OVRewardedVideoAdEngineView>(
      placementID,
      adData ? adData : OVRewardedVideoAdDataModel::initWithMetadata(platform::Value(platform::Dictionary{})),
      minViewability, rootViewController);
  view->build();
  return view;
}

std::shared_ptr<OVRewardedVideoAdEngineView> OVRewardedVideoAdEngineView::initWithFrame(platform::Rect /*frame*/) {
  return initWithPlacementID("", OVRewardedVideoAdDataModel::initWithMetadata(platform::Value(platform::Dictionary{})),
                             0, OVAdViewControllerProxy::viewController());
}

OVRewardedVideoAdEngineView::OVRewardedVideoAdEngineView(
    const std::string& placementID, std::shared_ptr<OVRewardedVideoAdDataModel> adData, std::int32_t minViewability,
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController)
    : orientation_(OVAdScreen::orientation()),
      placementID_(placementID),
      rewardedVideoDataModel_(std::move(adData)),
      minViewabilityPercentage_(minViewability),
      rootViewController_(rootViewController),
      adValid_(true),
      fader_(OVRewardedVideoAdOverlayFader::create()) {
  platform::View::setFrame(OVAdScreen::boundsInOrientation());
}

OVRewardedVideoAdEngineView::~OVRewardedVideoAdEngineView() {
  delegate_.reset();
  fader_->cancelAnimateViews();
  removeAllTimingObservers();
  OVAdNotificationCenter::removeAllObserversForObject(this);
}

std::shared_ptr<OVRewardedVideoAdEngineView> OVRewardedVideoAdEngineView::self() {
  return std::static_pointer_cast<OVRewardedVideoAdEngineView>(sharedView());
}

void OVRewardedVideoAdEngineView::build() {
  auto video = OVAdVideoPlayerView::initWithFrame(frame());
  if (const auto engineLayer = std::dynamic_pointer_cast<QNVPlayerLayer>(video->playerLayer())) {
    engineLayer->setVideoGravity(kQNVVideoGravityResizeAspect);
  }
  // The view's taps are its own: the picture takes none.
  video->setUserInteractionEnabled(false);
  library_ = video->videoLibrary();
  addSubview(video);
  videoView_ = video;

  const auto config = OVAdConfigManager::sharedManager();
  if (config->isRVMetadataEnabled()) {
    addGradientView();
    addAdDetailsView();
    addIconView();
    addTitleView();
    addSubtitleView();
  }
  if (config->isRVPlayPauseButtonEnabled()) addPlayPauseButton();
  if (const std::optional<double> seconds = rewardedVideoDataModel_->skippableSeconds()) {
    skippableTime_ = platform::MediaTime::make(static_cast<std::int64_t>(*seconds * kSkipTimescale), kSkipTimescale);
    addSkipButton();
  } else {
    skippableTime_ = platform::MediaTime::invalid();
  }
  addProgressBar();
  preload();
}

bool OVRewardedVideoAdEngineView::isAdValid() const { return adValid_ && rewardedVideoDataModel_->isValid(); }

// ---- Overlay elements ----

void OVRewardedVideoAdEngineView::addAdDetailsView() {
  auto details = std::make_shared<platform::View>();
  details->setAlpha(0.0);
  addSubview(details);
  adDetailsView_ = details;
}

void OVRewardedVideoAdEngineView::addIconView() {
  const std::optional<platform::URL> iconURL = rewardedVideoDataModel_->iconURL();
  if (!iconURL) return;
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  OVAdUtility::loadRemoteImageWithURL(*iconURL, [weakSelf](const std::shared_ptr<platform::Image>& image) {
    platform::DispatchQueue::main()->async([weakSelf, image] {
      const auto view = weakSelf.lock();
      if (!view || !image) return;
      const auto details = view->adDetailsView_.lock();
      if (!details) return;
      auto icon = std::make_shared<platform::ImageView>(image);
      details->addSubview(icon);
      view->iconView_ = icon;
    });
  });
}

void OVRewardedVideoAdEngineView::addProgressBar() {
  auto bar = OVAdVideoProgressBar::init();
  bar->setProgressColor(kProgressColor);
  bar->setBackgroundColor(platform::Color::black());
  addSubview(bar);
  progressBar_ = bar;
}

void OVRewardedVideoAdEngineView::addTitleView() {
  const std::optional<std::string> title = rewardedVideoDataModel_->title();
  if (!title) return;
  titleText_ = title;
  auto label = OVVideoAdLabel::initWithText(*title);
  label->setFont(platform::Font::boldSystemFont(kTitleFontSize));
  label->setBackgroundColor(platform::Color::clear());
  label->setNumberOfLines(kTitleLines);
  label->setLineBreakMode(platform::LineBreakMode::TruncatingTail);
  label->setTextColor(platform::Color::white());
  label->setTextAlignment(platform::TextAlignment::Left);
  if (const auto details = adDetailsView_.lock()) details->addSubview(label);
  titleView_ = label;
}

void OVRewardedVideoAdEngineView::addSubtitleView() {
  const std::optional<std::string> subtitle = rewardedVideoDataModel_->subtitle();
  if (!subtitle) return;
  auto label = OVVideoAdLabel::initWithText(*subtitle);
  label->setBackgroundColor(platform::Color::clear());
  label->setNumberOfLines(kSubtitleLines);
  label->setLineBreakMode(platform::LineBreakMode::TruncatingTail);
  label->setTextColor(platform::Color::white());
  label->setTextAlignment(platform::TextAlignment::Left);
  if (const auto details = adDetailsView_.lock()) details->addSubview(label);
  subtitleView_ = label;
}

void OVRewardedVideoAdEngineView::addGradientView() {
  auto gradient =
      OVGradientView::newWithColors({platform::Color::clear(), platform::Color::grey(kGradientBottomWhite, 1.0)});
  gradient->setAlpha(0.0);
  addSubview(gradient);
  gradientView_ = gradient;
}

void OVRewardedVideoAdEngineView::addPlayPauseButton() {
  auto button = OVAdVideoPlayPauseButton::videoPlayPauseButton();
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  button->addAction(platform::kControlEventTouchUpInside, [weakSelf](platform::Control&, const platform::Event*) {
    if (const auto view = weakSelf.lock()) view->playPauseButtonTapped();
  });
  button->setAlpha(0.0);
  addSubview(button);
  playPauseButton_ = button;
}

void OVRewardedVideoAdEngineView::addSkipButton() {
  if (!skippable()) return;
  const bool noEndCard = OVAdUtility::isStringEmpty(
      rewardedVideoDataModel_->markup() ? platform::Value(*rewardedVideoDataModel_->markup()) : platform::Value());
  auto ring = OVAdVideoSkipButton::initWithDuration(
      skippableTime_, noEndCard ? OVAdVideoSkipButton::kIconCross : OVAdVideoSkipButton::kIconSkip);
  ring->setProgressColor(kProgressColor);
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  ring->addGestureRecognizer(
      std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer& tap) {
        if (tap.state() != platform::GestureRecognizerState::Ended) return;
        if (const auto view = weakSelf.lock()) view->skipButtonViewTapped();
      }));
  addSubview(ring);
  skipButtonView_ = ring;
}

// ---- Preload ----

void OVRewardedVideoAdEngineView::preload() {
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  OVAdCache::sharedCache()->AVAssetForURL(rewardedVideoDataModel_->videoURL(),
                                          [weakSelf](const std::shared_ptr<QNVAssetForCache>& asset) {
                                            // The cache answers at once for a video whose download already
                                            // failed: the report waits for the main queue like any other.
                                            platform::DispatchQueue::main()->async([weakSelf, asset] {
                                              if (const auto view = weakSelf.lock()) view->videoCached(asset);
                                            });
                                          });
}

namespace {

// Whether the cache delivered something to play: an asset, and for a
// downloaded file one that is there and not empty.
bool delivered(const std::shared_ptr<QNVAssetForCache>& asset) {
  if (!asset) return false;
  const auto file = std::dynamic_pointer_cast<OVAdFileVideoAsset>(asset);
  if (!file) return true;
  const std::optional<std::uint64_t> size = file->fileSize();
  return file->isFile() && size && *size > 0;
}

}  // namespace

void OVRewardedVideoAdEngineView::videoCached(const std::shared_ptr<QNVAssetForCache>& asset) {
  // An ad whose video is not at hand must not count as ready to show.
  if (!delivered(asset)) {
    if (const auto target = delegate()) {
      target->rewardedVideoView(self(),
                                OVAdError::getNSError(kOVMediaViewErrorInvalidResponse, OVPlexoraMediaViewErrorDomain,
                                                      std::string(kInvalidResponseMessage), {}));
    }
    return;
  }
  dispatchVideoCached();
}

void OVRewardedVideoAdEngineView::dispatchVideoCached() {
  if (const auto target = delegate()) target->rewardedVideoViewCached(self());
}

// ---- Playing ----

void OVRewardedVideoAdEngineView::playVideo() {
  if (playRequested_) return;
  playRequested_ = true;
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  OVAdCache::sharedCache()->AVAssetForURL(rewardedVideoDataModel_->videoURL(),
                                          [weakSelf](const std::shared_ptr<QNVAssetForCache>& asset) {
                                            platform::DispatchQueue::main()->async([weakSelf, asset] {
                                              if (const auto view = weakSelf.lock()) view->assetArrived(asset);
                                            });
                                          });
}

void OVRewardedVideoAdEngineView::fail(std::int64_t code, const char* description) {
  OV_LOG(kOVAdLogLevelError, "%s", description);
  if (const auto target = delegate()) {
    target->rewardedVideoView(self(),
                              OVAdError::getNSError(code, OVPlexoraMediaViewErrorDomain, std::string(description), {}));
  }
}

void OVRewardedVideoAdEngineView::assetArrived(const std::shared_ptr<QNVAssetForCache>& cached) {
  if (ended_) return;
  if (!delivered(cached)) {
    fail(kOVMediaViewErrorInvalidResponse, kInvalidResponseMessage);
    return;
  }
  std::shared_ptr<platform::PlayerAsset> asset;
  std::optional<platform::URL> url = rewardedVideoDataModel_->videoURL();
  if (const auto file = std::dynamic_pointer_cast<OVAdFileVideoAsset>(cached)) {
    // The cache answers the downloaded file; it is opened here as the
    // chosen player's asset.
    url = file->url();
    asset = OVAdCreateVideoAsset(library_, *url, true);
  } else {
    // The cache made the asset itself: it serves only when it is of the
    // chosen player's kind.
    asset = std::dynamic_pointer_cast<platform::PlayerAsset>(cached);
    const bool engineAsset = std::dynamic_pointer_cast<QNVAVAsset>(cached) != nullptr;
    if (engineAsset != (library_ == OVAdVideoLibrary::kQNVPlayer)) asset.reset();
  }
  if (!asset || !url) {
    fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
    return;
  }
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  // The asset completes on a queue of its own; everything after the load
  // touches the views and the delegate, so it runs on the main queue.
  asset->loadValuesAsynchronouslyForKeys({kTracksKey, kDurationKey, kPlayableKey}, [weakSelf, asset, url = *url] {
    platform::DispatchQueue::main()->async([weakSelf, asset, url] {
      if (const auto view = weakSelf.lock()) view->keysLoaded(asset, url);
    });
  });
}

void OVRewardedVideoAdEngineView::keysLoaded(const std::shared_ptr<platform::PlayerAsset>& asset,
                                             const platform::URL& url) {
  if (ended_) return;
  const auto video = videoView_.lock();
  if (!video) return;
  if (library_ == OVAdVideoLibrary::kQNVPlayer) {
    // The engine reads the file itself: one it cannot parse fails here
    // rather than as a player that never shows a frame.
    const auto item = std::dynamic_pointer_cast<QNVAssetForPlayer>(asset);
    const auto engineAsset = std::dynamic_pointer_cast<QNVAVAsset>(asset);
    std::optional<platform::Error> loadError;
    if (!item || !engineAsset ||
        engineAsset->statusOfValueForKey(kDurationKey, &loadError) != kQNVKeyValueStatusLoaded || !item->formatDesc()) {
      fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
      return;
    }
  }
  const auto item = OVAdCreateVideoPlayerItem(library_, asset, url);
  const auto player = item ? OVAdCreateVideoPlayer(library_, item, video->playerLayer()) : nullptr;
  if (!player) {
    fail(kOVMediaViewErrorUnsupportedAsset, kUnsupportedAssetMessage);
    return;
  }
  playerItem_ = item;
  player->setMuted(false);
  video->setPlayer(player);
  player_ = player;

  duration_ = asset->duration();
  if (const auto bar = progressBar_.lock()) bar->setDuration(duration_);
  updateView(true);
  setupNotifications();

  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer& tap) {
    if (tap.state() != platform::GestureRecognizerState::Ended) return;
    if (const auto view = weakSelf.lock()) view->backgroundTapped();
  }));

  addTimingObserver([weakSelf, weakBar = progressBar_, weakRing = skipButtonView_,
                     weakDelegate = delegate_](const platform::MediaTime& time) {
    const auto view = weakSelf.lock();
    if (!view || view->ended_) return;
    view->currentTime_ = time;
    if (const auto bar = weakBar.lock()) bar->setCurrentTime(time);
    if (const auto ring = weakRing.lock()) ring->setCurrentTime(time);
    if (const auto target = weakDelegate.lock()) target->rewardedVideoViewProgress(view);
  });

  if (const auto target = delegate()) target->rewardedVideoViewDidLoad(self());
}

// ---- Periodic observers ----

void OVRewardedVideoAdEngineView::addTimingObserver(TimeBlock block) {
  if (!block) return;
  const auto player = player_.lock();
  if (!player) return;
  const platform::MediaTime interval = platform::MediaTime::make(1, kProgressTimescale);
  if (const auto engine = std::dynamic_pointer_cast<QNVPlayer>(player)) {
    auto token = engine->addPeriodicTimeObserverForInterval(interval, platform::DispatchQueue::main(),
                                                            [block](platform::MediaTime time) { block(time); });
    if (!token) return;
    timingObservers_.push_back([weakPlayer = std::weak_ptr<QNVPlayer>(engine), token] {
      if (const auto owner = weakPlayer.lock()) owner->removeTimeObserver(token);
    });
  } else if (const auto system = std::dynamic_pointer_cast<platform::SystemPlayer>(player)) {
    auto token = system->addPeriodicTimeObserver(interval, platform::DispatchQueue::main(),
                                                 [block](platform::MediaTime time) { block(time); });
    if (!token) return;
    timingObservers_.push_back([weakPlayer = std::weak_ptr<platform::SystemPlayer>(system), token] {
      if (const auto owner = weakPlayer.lock()) owner->removeTimeObserver(token);
    });
  }
}

void OVRewardedVideoAdEngineView::removeAllTimingObservers() {
  for (const auto& remove : timingObservers_) remove();
  timingObservers_.clear();
}

// ---- Notifications ----

void OVRewardedVideoAdEngineView::setupNotifications() {
  removeAllObservers();
  const auto center = OVAdNotificationCenter::notificationCenterForObject(sharedView());
  const auto item = playerItem_.lock();
  // The players post an item's notifications with the whole object's
  // address.
  const void* sender = item ? dynamic_cast<const void*>(item.get()) : nullptr;
  const std::weak_ptr<OVRewardedVideoAdEngineView> weakSelf = self();
  if (sender) {
    center->addNotificationWithName(platform::kAVPlayerItemDidPlayToEndTimeNotification, sender,
                                    [weakSelf](const platform::Notification&) {
                                      if (const auto view = weakSelf.lock()) {
                                        view->dispatchVideoEndedWithSuccess(true, std::nullopt);
                                      }
                                    });
    for (const char* failure :
         {platform::kAVPlayerItemFailedToPlayToEndTimeNotification, platform::kAVPlayerItemPlaybackStalledNotification,
          kOVAVPlayerItemNewErrorLogEntryNotification}) {
      // A stall ends the ad too: a rewarded video that stops is not
      // watched.
      center->addNotificationWithName(failure, sender, [weakSelf](const platform::Notification&) {
        if (const auto view = weakSelf.lock()) view->dispatchVideoEndedWithSuccess(false, view->playerError());
      });
    }
  }
  center->addNotificationWithName(platform::kApplicationWillResignActiveNotification,
                                  [weakSelf](const platform::Notification&) {
                                    if (const auto view = weakSelf.lock()) view->applicationWillResignActive();
                                  });
  center->addNotificationWithName(platform::kApplicationDidBecomeActiveNotification,
                                  [weakSelf](const platform::Notification&) {
                                    if (const auto view = weakSelf.lock()) view->applicationDidBecomeActive();
                                  });
}

void OVRewardedVideoAdEngineView::removeAllObservers() { OVAdNotificationCenter::removeAllObserversForObject(this); }

void OVRewardedVideoAdEngineView::applicationWillResignActive() {
  if (const auto player = player_.lock()) player->pause();
  if (const auto target = delegate()) target->rewardedVideoViewDidPause(self());
  if (!playPauseButton_.lock()) return;
  paused_ = true;
  highlightPlayPauseButtonLater(true);
  fader_->cancelAnimateViews();
}

void OVRewardedVideoAdEngineView::applicationDidBecomeActive() {
  if (const auto target = delegate()) target->rewardedVideoViewContextSwitch(self());
  const auto button = playPauseButton_.lock();
  if (!button) return;
  button->setHighlighted(false);
  paused_ = false;
  toggleAll();
}

std::optional<platform::Error> OVRewardedVideoAdEngineView::playerError() const {
  const auto player = player_.lock();
  if (const auto engine = std::dynamic_pointer_cast<QNVPlayer>(player)) return engine->error();
  if (const auto system = std::dynamic_pointer_cast<platform::SystemPlayer>(player)) return system->error();
  return std::nullopt;
}

// ---- The end ----

void OVRewardedVideoAdEngineView::dispatchVideoEndedWithSuccess(bool success,
                                                                const std::optional<platform::Error>& error) {
  // Several failure reports may be queued for one failure; only the first
  // ends the ad.
  if (ended_) return;
  ended_ = true;
  const auto view = self();
  if (!success) {
    if (const auto target = delegate()) {
      target->rewardedVideoView(
          view, error.value_or(OVAdError::getNSError(kOVMediaViewErrorPlaybackFailed, OVPlexoraMediaViewErrorDomain,
                                                     std::string(kPlaybackFailedMessage), {})));
    }
  }
  if (const auto target = delegate()) target->rewardedVideoViewEnded(view, success, duration_.seconds());
  cleanLayout();
}

void OVRewardedVideoAdEngineView::cleanLayout() {
  ended_ = true;
  removeAllTimingObservers();
  if (const auto player = player_.lock()) player->pause();
  player_.reset();
  const std::vector<std::shared_ptr<platform::View>> gone = {
      playPauseButton_.lock(), iconView_.lock(),    titleView_.lock(),      subtitleView_.lock(),
      gradientView_.lock(),    progressBar_.lock(), skipButtonView_.lock(), videoView_.lock()};
  for (const auto& subview : gone) {
    if (subview) subview->removeFromSuperview();
  }
  videoView_.reset();
  fader_->cancelAnimateViews();
  removeAllObservers();
}

// ---- User actions ----

void OVRewardedVideoAdEngineView::skipButtonViewTapped() {
  if (ended_ || !skippable()) return;
  if (platform::compare(skipRemainingTime(), platform::MediaTime::zero()) >= 1) return;
  ended_ = true;
  if (const auto target = delegate()) target->rewardedVideoViewDidSkip(self());
  cleanLayout();
}

platform::MediaTime OVRewardedVideoAdEngineView::skipRemainingTime() const {
  if (!skippable()) return platform::MediaTime::invalid();
  return std::max(platform::MediaTime::zero(), platform::subtract(skippableTime_, currentTime_));
}

void OVRewardedVideoAdEngineView::playPauseButtonTapped() {
  const auto button = playPauseButton_.lock();
  if (!button) return;
  const auto player = player_.lock();
  if (paused_) {
    paused_ = false;
    if (player) player->play();
    button->setHighlighted(false);
    toggleAll();
    if (const auto target = delegate()) target->rewardedVideoViewDidResume(self());
  } else {
    paused_ = true;
    if (player) player->pause();
    highlightPlayPauseButtonLater(true);
    fader_->cancelAnimateViews();
    if (const auto target = delegate()) target->rewardedVideoViewDidPause(self());
  }
}

void OVRewardedVideoAdEngineView::highlightPlayPauseButtonLater(bool highlighted) {
  platform::DispatchQueue::main()->async([weakButton = playPauseButton_, highlighted] {
    if (const auto button = weakButton.lock()) button->setHighlighted(highlighted);
  });
}

void OVRewardedVideoAdEngineView::backgroundTapped() {
  if (!paused_) toggleAll();
}

void OVRewardedVideoAdEngineView::toggleAll() {
  OVRewardedVideoAdOverlayFader::Views views;
  if (auto button = playPauseButton_.lock()) views.push_back(std::move(button));
  if (auto details = adDetailsView_.lock()) views.push_back(std::move(details));
  if (auto gradient = gradientView_.lock()) views.push_back(std::move(gradient));
  fader_->toggleViews(views);
}

bool OVRewardedVideoAdEngineView::isAnimating() const { return fader_->isAnimating(); }

// ---- Layout ----

void OVRewardedVideoAdEngineView::setFrame(platform::Rect frame) {
  const bool changed = frame != this->frame() && !frame.isEmpty();
  platform::View::setFrame(frame);
  updateView(changed);
}

void OVRewardedVideoAdEngineView::setBounds(platform::Rect bounds) {
  const bool changed = bounds != this->bounds() && !bounds.isEmpty();
  platform::View::setBounds(bounds);
  updateView(changed);
}

void OVRewardedVideoAdEngineView::updateView(bool /*resize*/) {
  const double width = bounds().size.width;
  const double height = bounds().size.height;
  const auto video = videoView_.lock();
  if (video) video->setFrame(bounds());
  if (const auto bar = progressBar_.lock()) {
    bar->setFrame({0, height - kProgressBarHeight, width, kProgressBarHeight});
    bar->setHidden(false);
  }
  if (const auto button = playPauseButton_.lock()) {
    const platform::Size videoSize = video ? video->frame().size : platform::Size{};
    button->setFrame({(videoSize.width - kPlayPauseButtonSize) * 0.5, (videoSize.height - kPlayPauseButtonSize) * 0.5,
                      kPlayPauseButtonSize, kPlayPauseButtonSize});
  }
  if (const auto ring = skipButtonView_.lock())
    ring->setFrame({width - kSkipButtonSize, 0, kSkipButtonSize, kSkipButtonSize});

  const auto icon = iconView_.lock();
  const double iconWidth = icon ? kIconBlockWidth : 0.0;
  const double iconHeight = icon ? kIconBlockHeight : 0.0;
  const double available = width - 2 * kDetailsMargin;
  const double textWidth = std::min(kMaximumTextWidth, available - iconWidth);
  const auto title = titleView_.lock();
  const auto subtitle = subtitleView_.lock();
  const platform::Size titleSize = title ? title->sizeThatFits({textWidth, 0}) : platform::Size{};
  const platform::Size subtitleSize = subtitle ? subtitle->sizeThatFits({textWidth, 0}) : platform::Size{};
  const double detailsHeight = std::max(titleSize.height + subtitleSize.height, iconHeight);
  if (const auto details = adDetailsView_.lock()) {
    details->setFrame(
        {kDetailsMargin, height - kProgressBarHeight - detailsHeight - kDetailsMargin, available, detailsHeight});
  }
  if (icon) icon->setFrame({0, (detailsHeight - kIconSize) * 0.5, kIconSize, kIconSize});
  const double margin = (detailsHeight - titleSize.height - subtitleSize.height) * 0.5;
  if (title) title->setFrame({iconWidth, margin, titleSize.width, titleSize.height});
  if (subtitle) {
    subtitle->setFrame(
        {iconWidth, detailsHeight - margin - subtitleSize.height, subtitleSize.width, subtitleSize.height});
  }
  if (const auto gradient = gradientView_.lock()) {
    gradient->setFrame(
        {0, height - (detailsHeight + kGradientExtraHeight), width, detailsHeight + kGradientExtraHeight});
  }
}

}  // namespace plexora

#include "adapters/views/video/OVInstreamAdVideoView.h"

#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/Player.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "util/OVAdLogger.h"
#include "util/OVAdNotificationCenter.h"
#include "util/OVAdTimer.h"

namespace plexora {

namespace {

constexpr const char* kPlaybackStalledMessage = "playbackStalled";
constexpr const char* kDurationSetMessage = "Player item duration set to %f seconds";
constexpr const char* kLikelyToKeepUpMessage = "playbackLikelyToKeepUp occurred";
constexpr const char* kBufferFullMessage = "playbackBufferFull occurred";
constexpr const char* kStatusChangedMessage = "Player status changed to %lu";

// A quarter of a second.
constexpr std::int64_t kProgressIntervalValue = 1000;
constexpr std::int32_t kProgressIntervalTimescale = 4000;

// Runs `work` with the view on a later turn of the main queue, unless the
// view is gone by then.
void onMainQueue(const std::weak_ptr<OVInstreamAdVideoView>& weakView,
                 std::function<void(const std::shared_ptr<OVInstreamAdVideoView>&)> work) {
  platform::DispatchQueue::main()->async([weakView, work = std::move(work)] {
    if (const auto view = weakView.lock()) work(view);
  });
}

}  // namespace

std::shared_ptr<OVInstreamAdVideoView> OVInstreamAdVideoView::init() {
  auto view = std::make_shared<OVInstreamAdVideoView>();
  view->addGestureRecognizers();
  return view;
}

OVInstreamAdVideoView::OVInstreamAdVideoView() : View(platform::Rect()) {
  if (const auto kit = platform::SystemPlayerKit::installed()) layer_ = kit->makePlayerLayer();
}

OVInstreamAdVideoView::~OVInstreamAdVideoView() {
  if (avPlayer_) avPlayer_->pause();
  removeProgressTimeObserver();
  removeAllObservers();
  cancelStallTimer();
  OVAdNotificationCenter::removeAllObserversForObject(this);
}

std::shared_ptr<OVInstreamAdVideoView> OVInstreamAdVideoView::sharedVideoView() {
  return std::static_pointer_cast<OVInstreamAdVideoView>(sharedView());
}

std::shared_ptr<platform::SystemPlayer> OVInstreamAdVideoView::player() const {
  return layer_ ? std::dynamic_pointer_cast<platform::SystemPlayer>(layer_->player()) : nullptr;
}

void OVInstreamAdVideoView::setPlayer(const std::shared_ptr<platform::SystemPlayer>& player) {
  if (!layer_) return;
  layer_->setPlayer(player);
  layer_->setBounds(bounds());
}

platform::MediaTime OVInstreamAdVideoView::currentTime() const {
  if (!avPlayer_) return platform::MediaTime::zero();
  const platform::MediaTime time = avPlayer_->currentTime();
  // An invalid time is no later than zero either.
  return time > platform::MediaTime::zero() ? time : platform::MediaTime::zero();
}

platform::Size OVInstreamAdVideoView::naturalSize() const {
  const auto item = currentItem();
  const auto asset = item ? std::dynamic_pointer_cast<platform::SystemPlayerAsset>(item->asset()) : nullptr;
  return asset ? asset->naturalSize() : platform::Size{};
}

float OVInstreamAdVideoView::volume() const { return avPlayer_ ? avPlayer_->volume() : 1.0F; }

bool OVInstreamAdVideoView::isPlaying() const {
  return avPlayer_ && avPlayer_->rate() > 0.0F && !avPlayer_->error().has_value();
}

std::shared_ptr<platform::SystemPlayerItem> OVInstreamAdVideoView::currentItem() const {
  return avPlayer_ ? avPlayer_->currentItem() : nullptr;
}

void OVInstreamAdVideoView::loadMovieWithURL(const platform::URL& url) {
  removeAllObservers();
  // What belonged to an earlier player would otherwise keep the new one
  // from getting its own progress reports and stall timeout.
  removeProgressTimeObserver();
  cancelStallTimer();
  paused_ = true;
  const auto kit = platform::SystemPlayerKit::installed();
  const auto item = kit ? kit->makePlayerItem(kit->makeURLAsset(url)) : nullptr;
  auto player = item ? std::dynamic_pointer_cast<platform::SystemPlayer>(kit->makePlayer(item)) : nullptr;
  if (!player || !player->currentItem()) {
    avPlayer_.reset();
    avPlayerItem_.reset();
    onMainQueue(sharedVideoView(), [](const auto& view) { view->fail(std::nullopt); });
    return;
  }
  avPlayer_ = std::move(player);
  avPlayerItem_ = avPlayer_->currentItem();
  addObservers();
}

void OVInstreamAdVideoView::start() {
  if (!avPlayer_) return;
  const auto item = currentItem();
  if (item && item->duration() > platform::MediaTime::zero() && avPlayer_->currentTime() >= item->duration()) {
    avPlayer_->seekToTime(platform::MediaTime::zero());
  }
  paused_ = false;
  setPlayer(avPlayer_);
  setupNotifications();
  addProgressTimeObserver();
  avPlayer_->play();
}

void OVInstreamAdVideoView::stop() {
  paused_ = true;
  if (avPlayer_) avPlayer_->pause();
  removeProgressTimeObserver();
  // A stall the user or the application paused through is no failure.
  cancelStallTimer();
}

void OVInstreamAdVideoView::addGestureRecognizers() {
  if (!tapGestureRecognizer_.expired()) return;
  const std::weak_ptr<OVInstreamAdVideoView> weakSelf = sharedVideoView();
  auto recognizer = std::make_shared<platform::TapGestureRecognizer>([weakSelf](platform::GestureRecognizer&) {
    const auto self = weakSelf.lock();
    if (!self) return;
    if (const auto delegate = self->delegate()) delegate->videoViewTapped(self);
  });
  addGestureRecognizer(recognizer);
  tapGestureRecognizer_ = recognizer;
}

void OVInstreamAdVideoView::setupNotifications() {
  const auto self = sharedVideoView();
  if (const auto earlier = OVAdNotificationCenter::notificationCenterForObject(self, false)) {
    earlier->removeAllObservers();
  }
  const auto item = currentItem();
  if (!item) return;
  const auto centre = OVAdNotificationCenter::notificationCenterForObject(self);
  const std::weak_ptr<OVInstreamAdVideoView> weakSelf = self;
  centre->addNotificationWithName(platform::kAVPlayerItemDidPlayToEndTimeNotification, item.get(),
                                  [weakSelf](const platform::Notification&) {
                                    onMainQueue(weakSelf, [](const auto& self) {
                                      self->paused_ = true;
                                      if (const auto delegate = self->delegate()) delegate->videoViewDidEnd(self);
                                    });
                                  });
  centre->addNotificationWithName(platform::kAVPlayerItemPlaybackStalledNotification, item.get(),
                                  [weakSelf](const platform::Notification&) {
                                    onMainQueue(weakSelf, [](const auto& self) { self->playbackStalled(); });
                                  });
}

void OVInstreamAdVideoView::addObservers() {
  const auto item = currentItem();
  if (!item) return;
  const std::weak_ptr<OVInstreamAdVideoView> weakSelf = sharedVideoView();
  itemObservation_ = item->addObserver([weakSelf](const std::string& key) {
    if (const auto self = weakSelf.lock()) self->observeValueForKeyPath(key);
  });
}

void OVInstreamAdVideoView::addProgressTimeObserver() {
  if (progressTimeObserver_ || !avPlayer_) return;
  const std::weak_ptr<OVInstreamAdVideoView> weakSelf = sharedVideoView();
  progressTimeObserver_ =
      avPlayer_->addPeriodicTimeObserver(platform::MediaTime::make(kProgressIntervalValue, kProgressIntervalTimescale),
                                         platform::DispatchQueue::main(), [weakSelf](platform::MediaTime) {
                                           const auto self = weakSelf.lock();
                                           if (!self) return;
                                           if (const auto delegate = self->delegate())
                                             delegate->videoViewDidProgress(self);
                                         });
}

void OVInstreamAdVideoView::removeAllObservers() {
  if (!itemObservation_) return;
  if (const auto item = avPlayerItem_.lock()) item->removeObserver(*itemObservation_);
  itemObservation_.reset();
}

void OVInstreamAdVideoView::removeProgressTimeObserver() {
  if (!progressTimeObserver_) return;
  if (avPlayer_) avPlayer_->removeTimeObserver(progressTimeObserver_);
  progressTimeObserver_.reset();
}

void OVInstreamAdVideoView::cancelStallTimer() {
  if (!stallTimer_) return;
  stallTimer_->invalidate();
  stallTimer_.reset();
}

void OVInstreamAdVideoView::startStallTimer() {
  if (stallTimer_) return;
  const std::weak_ptr<OVInstreamAdVideoView> weakSelf = sharedVideoView();
  stallTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(kOVInstreamAdVideoViewStallTimeoutSeconds, false,
                                                          [weakSelf](const std::shared_ptr<OVAdTimer>&) {
                                                            onMainQueue(weakSelf, [](const auto& self) {
                                                              // Spent: a later stall waits out a timeout of its own.
                                                              self->stallTimer_.reset();
                                                              const auto item = self->currentItem();
                                                              self->fail(item ? item->error() : std::nullopt);
                                                            });
                                                          });
}

void OVInstreamAdVideoView::playbackStalled() {
  OV_LOG(kOVAdLogLevelError, "%s", kPlaybackStalledMessage);
  // A video held stopped is not waiting for data: no timeout may fail it.
  if (paused_) return;
  startStallTimer();
}

void OVInstreamAdVideoView::observeValueForKeyPath(const std::string& key) {
  const auto item = currentItem();
  if (!item) return;
  if (key == platform::kSystemPlayerItemDurationKey) {
    const platform::MediaTime duration = item->duration();
    if (duration != duration_) {
      duration_ = duration;
      OV_LOG(kOVAdLogLevelDebug, kDurationSetMessage, duration.seconds());
    }
  } else if (key == platform::kSystemPlayerItemLikelyToKeepUpKey) {
    if (!item->isPlaybackLikelyToKeepUp()) return;
    OV_LOG(kOVAdLogLevelVerbose, "%s", kLikelyToKeepUpMessage);
    if (!loaded_) {
      loaded_ = true;
      if (const auto delegate = this->delegate()) delegate->videoViewDidLoad(sharedVideoView());
      return;
    }
    // Recovered: the timer goes, so the next stall gets a timeout again.
    cancelStallTimer();
    if (!paused_) avPlayer_->play();
  } else if (key == platform::kSystemPlayerItemBufferFullKey) {
    if (!item->isPlaybackBufferFull()) return;
    OV_LOG(kOVAdLogLevelVerbose, "%s", kBufferFullMessage);
    if (!stallTimer_) return;
    cancelStallTimer();
    // Only a video that is meant to play resumes: not one the user or the
    // application stopped.
    if (!paused_) avPlayer_->play();
  } else if (key == platform::kSystemPlayerItemStatusKey) {
    const auto status = item->status();
    OV_LOG(kOVAdLogLevelVerbose, kStatusChangedMessage, static_cast<unsigned long>(status));
    if (status == platform::SystemPlayerItemStatus::kFailed) fail(item->error());
  }
}

void OVInstreamAdVideoView::fail(const std::optional<platform::Error>& error) {
  if (const auto delegate = this->delegate()) delegate->videoView(sharedVideoView(), error);
}

void OVInstreamAdVideoView::layoutSubviews() {
  if (layer_) layer_->setBounds(bounds());
}

void OVInstreamAdVideoView::draw(platform::GraphicsContext& context, platform::Rect rect) const {
  std::shared_ptr<platform::Image> frame = layer_ ? layer_->presentedImage() : nullptr;
  if (!frame) return;
  // Fit within the bounds, as the system's layer shows a video by default.
  platform::ImageView picture(bounds());
  picture.setContentMode(platform::ContentMode::ScaleAspectFit);
  picture.setImage(std::move(frame));
  picture.draw(context, rect);
}

}  // namespace plexora

#include "util/qnv/player/QNVPlayer.h"

#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

std::shared_ptr<QNVPlayer> QNVPlayer::initWithDisplayEngine(std::shared_ptr<QNVPlayerLayer> displayEngine) {
  std::shared_ptr<QNVPlayer> player(new QNVPlayer());
  player->defaultAudioEngine_ = QNVAudioQueue::create();
  const bool renderWhileInactive = displayEngine->allowRenderingWhileApplicationInactive();
  // The synchronous player talks to the layer and the clock only from the
  // media-state queue, its creation included.
  QNVMediaStateQueue()->sync([&] {
    player->synchronousPlayer_ = QNVSynchronousPlayer::initWithDisplayEngine(
        std::move(displayEngine), player->defaultAudioEngine_, QNVRealClock::create(), QNVMediaStateQueue(), true);
    player->synchronousPlayer_->setDelegate(player);
  });
  if (!renderWhileInactive) {
    auto& centre = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<QNVPlayer> weakPlayer = player;
    player->applicationObservers_.push_back(centre.addObserver(
        platform::kApplicationWillResignActiveNotification, nullptr, nullptr, [weakPlayer](const platform::Notification&) {
          if (auto strong = weakPlayer.lock()) strong->_applicationWillResignActive();
        }));
    player->applicationObservers_.push_back(centre.addObserver(
        platform::kApplicationDidBecomeActiveNotification, nullptr, nullptr, [weakPlayer](const platform::Notification&) {
          if (auto strong = weakPlayer.lock()) strong->_applicationDidBecomeActive();
        }));
  }
  return player;
}

QNVPlayer::~QNVPlayer() {
  // The synchronous player's weak delegate has expired with this object, so
  // it is not cleared here (that write would race the queue reading it).
  auto& centre = platform::NotificationCenter::defaultCenter();
  for (auto token : applicationObservers_) centre.removeObserver(token);
  QNVMediaStateQueue()->async([synchronousPlayer = std::move(synchronousPlayer_),
                               audioEngine = std::move(defaultAudioEngine_)]() mutable {
    synchronousPlayer.reset();
    audioEngine.reset();
  });
}

void QNVPlayer::enqueue(std::function<void(QNVSynchronousPlayer&)> command) {
  QNVMediaStateQueue()->async([self = shared_from_this(), command = std::move(command)] {
    command(*self->synchronousPlayer_);
  });
}

void QNVPlayer::_applicationWillResignActive() {
  enqueue([](QNVSynchronousPlayer& player) { player.applicationWillResignActive(); });
}

void QNVPlayer::_applicationDidBecomeActive() {
  enqueue([](QNVSynchronousPlayer& player) { player.applicationDidBecomeActive(); });
}

void QNVPlayer::statusUpdated(int64_t status) {
  willChangeValueForKey(kQNVPlayerStatusKey);
  {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  didChangeValueForKey(kQNVPlayerStatusKey);
}

void QNVPlayer::currentItemUpdated(const std::shared_ptr<QNVAssetForPlayer>& item) {
  willChangeValueForKey(kQNVPlayerCurrentItemKey);
  {
    std::lock_guard lock(mutex_);
    currentItem_ = item;
  }
  didChangeValueForKey(kQNVPlayerCurrentItemKey);
}

void QNVPlayer::rateUpdated(float rate) {
  willChangeValueForKey(kQNVPlayerRateKey);
  {
    std::lock_guard lock(mutex_);
    rate_ = rate;
  }
  didChangeValueForKey(kQNVPlayerRateKey);
}

platform::Value QNVPlayer::valueForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (key == kQNVPlayerStatusKey) return platform::Value(status_);
  if (key == kQNVPlayerRateKey) return platform::Value(static_cast<double>(rate_));
  if (key == kQNVPlayerCurrentItemKey) return platform::Value(currentItem_ != nullptr);
  return {};
}

float QNVPlayer::rate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

int64_t QNVPlayer::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::shared_ptr<QNVAssetForPlayer> QNVPlayer::currentItem() const {
  std::lock_guard lock(mutex_);
  return currentItem_;
}

void QNVPlayer::play() {
  enqueue([](QNVSynchronousPlayer& player) { player.play(); });
}

void QNVPlayer::pause() {
  enqueue([](QNVSynchronousPlayer& player) { player.pause(); });
}

void QNVPlayer::setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) {
  enqueue([renderer = std::move(renderer)](QNVSynchronousPlayer& player) { player.setRenderer(renderer); });
}

void QNVPlayer::setAudioEngine(std::shared_ptr<QNVPlayerAudioEngine> audioEngine) {
  if (!audioEngine) audioEngine = defaultAudioEngine_;
  enqueue([audioEngine = std::move(audioEngine)](QNVSynchronousPlayer& player) { player.setAudioEngine(audioEngine); });
}

void QNVPlayer::replaceCurrentItemWithPlayerItem(std::shared_ptr<QNVAssetForPlayer> item) {
  enqueue([item = std::move(item)](QNVSynchronousPlayer& player) { player.replaceCurrentItemWithPlayerItem(item); });
}

void QNVPlayer::setMuted(bool muted) {
  enqueue([muted](QNVSynchronousPlayer& player) { player.setMuted(muted); });
}

void QNVPlayer::setVolume(float volume) { setVolume(volume, 0.0f); }

void QNVPlayer::setVolume(float volume, float rampTime) {
  enqueue([volume, rampTime](QNVSynchronousPlayer& player) { player.setVolume(volume, rampTime); });
}

void QNVPlayer::setRate(float rate) {
  enqueue([rate](QNVSynchronousPlayer& player) { player.setRate(rate); });
}

std::shared_ptr<QNVPlayerTimeObserver> QNVPlayer::addPeriodicTimeObserverForInterval(
    const platform::MediaTime& interval, platform::DispatchQueuePtr queue, TimeBlock block) {
  auto relay = [queue = std::move(queue), block = std::move(block)](platform::MediaTime time) {
    if (!block) return;
    queue->async([block, time] { block(time); });
  };
  auto observer = synchronousPlayer_->createPeriodicTimeObserverForInterval(interval, std::move(relay));
  enqueue([observer](QNVSynchronousPlayer& player) { player.addTimeObserver(observer); });
  return observer;
}

void QNVPlayer::removeTimeObserver(std::shared_ptr<QNVPlayerTimeObserver> observer) {
  enqueue([observer = std::move(observer)](QNVSynchronousPlayer& player) { player.removeTimeObserver(observer); });
}

void QNVPlayer::seekToTime(const platform::MediaTime& time) { seekToTime(time, nullptr); }

void QNVPlayer::seekToTime(const platform::MediaTime& time, CompletionHandler completionHandler) {
  enqueue([time, completionHandler = std::move(completionHandler)](QNVSynchronousPlayer& player) {
    player.seekToTime(time, completionHandler);
  });
}

void QNVPlayer::seekToTime(const platform::MediaTime& time, const platform::MediaTime& toleranceBefore,
                           const platform::MediaTime& toleranceAfter) {
  seekToTime(time, toleranceBefore, toleranceAfter, nullptr);
}

void QNVPlayer::seekToTime(const platform::MediaTime& time, const platform::MediaTime& toleranceBefore,
                           const platform::MediaTime& toleranceAfter, CompletionHandler completionHandler) {
  enqueue([=, completionHandler = std::move(completionHandler)](QNVSynchronousPlayer& player) {
    player.seekToTime(time, toleranceBefore, toleranceAfter, completionHandler);
  });
}

void QNVPlayer::addLevelMeterCallback(QNVPlayerAudioEngine::LevelCallback callback,
                                      const platform::MediaTime& timeInterval) {
  enqueue([callback = std::move(callback), timeInterval](QNVSynchronousPlayer& player) {
    player.addLevelMeterCallback(callback, timeInterval);
  });
}

void QNVPlayer::removeLevelMeterCallback() {
  enqueue([](QNVSynchronousPlayer& player) { player.removeLevelMeterCallback(); });
}

void QNVPlayer::addRepresentationChangedCallback(QNVSynchronousPlayer::RepresentationChangedCallback callback) {
  enqueue([callback = std::move(callback)](QNVSynchronousPlayer& player) {
    player.addRepresentationChangedCallback(callback);
  });
}

}  // namespace plexora

#include "platform/media/GStreamerPlayer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace plexora::platform {

namespace {

// A firing this close before a multiple of the interval counts as at it,
// so the time read back a hair early never sets up the same multiple again.
constexpr double kTimeSlack = 1e-6;
constexpr int32_t kNanosecondsPerSecond = 1000000000;

}  // namespace

struct GStreamerPlayer::PeriodicObserver final : SystemPlayer::TimeObserver {
  PeriodicObserver(double interval, DispatchQueuePtr queue, TimeBlock block)
      : interval(interval), queue(std::move(queue)), block(std::move(block)) {}
  const double interval;
  const DispatchQueuePtr queue;
  const TimeBlock block;
  // Bumped by every rearm and by removal: a firing set up under an older
  // generation does nothing. Guarded by the player's mutex.
  std::uint64_t generation = 0;
};

std::shared_ptr<GStreamerPlayer> GStreamerPlayer::create(std::shared_ptr<GStreamerPlayerItem> item) {
  if (!item) return nullptr;
  std::shared_ptr<GStreamerPlayer> player(new GStreamerPlayer(std::move(item)));
  const std::weak_ptr<GStreamerPlayer> weakPlayer = player;
  player->item_->setPlaybackChangeHandler([weakPlayer] {
    if (const auto strong = weakPlayer.lock()) strong->rearm();
  });
  return player;
}

GStreamerPlayer::~GStreamerPlayer() {
  // The item may outlive its player (a view still holds it) but stops
  // with it, as nothing can play it any more.
  item_->setRate(0.0f);
}

void GStreamerPlayer::setMuted(bool muted) {
  {
    std::lock_guard lock(mutex_);
    muted_ = muted;
  }
  item_->setMuted(muted);
}

bool GStreamerPlayer::isMuted() const {
  std::lock_guard lock(mutex_);
  return muted_;
}

void GStreamerPlayer::setVolume(float volume) {
  volume = std::clamp(volume, 0.0f, 1.0f);
  {
    std::lock_guard lock(mutex_);
    volume_ = volume;
  }
  item_->setVolume(volume);
}

float GStreamerPlayer::volume() const {
  std::lock_guard lock(mutex_);
  return volume_;
}

std::shared_ptr<SystemPlayer::TimeObserver> GStreamerPlayer::addPeriodicTimeObserver(const MediaTime& interval,
                                                                                     DispatchQueuePtr queue,
                                                                                     TimeBlock block) {
  const double seconds = interval.seconds();
  if (!(seconds > 0) || !std::isfinite(seconds) || !queue || !block) return nullptr;
  auto observer = std::make_shared<PeriodicObserver>(seconds, std::move(queue), std::move(block));
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    observers_.push_back(observer);
    generation = observer->generation;
  }
  if (item_->isAdvancing()) schedule(observer, generation);
  return observer;
}

void GStreamerPlayer::removeTimeObserver(const std::shared_ptr<TimeObserver>& observer) {
  std::lock_guard lock(mutex_);
  const auto found = std::find(observers_.begin(), observers_.end(), observer);
  if (found == observers_.end()) return;
  ++(*found)->generation;
  observers_.erase(found);
}

void GStreamerPlayer::rearm() {
  std::vector<std::pair<std::shared_ptr<PeriodicObserver>, std::uint64_t>> armed;
  {
    std::lock_guard lock(mutex_);
    for (const auto& observer : observers_) armed.emplace_back(observer, ++observer->generation);
  }
  if (!item_->isAdvancing()) return;
  for (const auto& [observer, generation] : armed) schedule(observer, generation);
}

void GStreamerPlayer::schedule(const std::shared_ptr<PeriodicObserver>& observer, std::uint64_t generation,
                               std::optional<double> firedAt) {
  const double rate = item_->rate();
  if (!(rate > 0)) return;
  // After a firing the next multiple follows it; GStreamer's own reading
  // lags behind until its sinks have taken the next buffers.
  const double now = firedAt ? *firedAt : item_->currentTime().seconds();
  const double next =
      firedAt ? *firedAt + observer->interval
              : (std::floor(now / observer->interval + kTimeSlack) + 1.0) * observer->interval;
  const std::weak_ptr<GStreamerPlayer> weakPlayer = weak_from_this();
  const std::weak_ptr<PeriodicObserver> weakObserver = observer;
  observer->queue->after((next - now) / rate, [weakPlayer, weakObserver, generation, next] {
    const auto player = weakPlayer.lock();
    const auto strongObserver = weakObserver.lock();
    if (!player || !strongObserver) return;
    {
      std::lock_guard lock(player->mutex_);
      if (strongObserver->generation != generation) return;
    }
    if (!player->item_->isAdvancing()) return;
    // Playback moved without a break since the firing was set up (a break
    // would have rearmed it), so it stands at the multiple now.
    strongObserver->block(MediaTime::make(std::llround(next * kNanosecondsPerSecond), kNanosecondsPerSecond));
    player->schedule(strongObserver, generation, next);
  });
}

}  // namespace plexora::platform

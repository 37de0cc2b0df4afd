#include "adapters/views/nativead/video/OVAdVideoPlayerAccess.h"

#include "platform/media/SystemPlayer.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/player/QNVPlayer.h"

namespace plexora {

bool OVAdVideoItemFailed(const platform::Player* player, const platform::PlayerItem* item) {
  if (const auto* engine = dynamic_cast<const QNVPlayer*>(player); engine && engine->status() == kQNVPlayerStatusFailed) {
    return true;
  }
  if (const auto* system = dynamic_cast<const platform::SystemPlayerItem*>(item)) {
    return system->status() == platform::SystemPlayerItemStatus::kFailed;
  }
  if (const auto* engineItem = dynamic_cast<const QNVAVPlayerItem*>(item)) {
    return engineItem->status() == kQNVAssetStatusFailed;
  }
  return false;
}

std::optional<platform::Error> OVAdVideoPlaybackError(const platform::Player* player,
                                                      const platform::PlayerItem* item) {
  if (const auto* system = dynamic_cast<const platform::SystemPlayerItem*>(item)) return system->error();
  if (const auto* engine = dynamic_cast<const QNVPlayer*>(player)) {
    if (auto error = engine->error()) return error;
  }
  if (const auto* engineItem = dynamic_cast<const QNVAssetForPlayer*>(item)) return engineItem->error();
  return std::nullopt;
}

platform::MediaTime OVAdVideoItemDuration(const platform::PlayerItem* item) {
  if (const auto* system = dynamic_cast<const platform::SystemPlayerItem*>(item)) return system->duration();
  // The engine's item is its asset.
  if (const auto* asset = dynamic_cast<const platform::PlayerAsset*>(item)) return asset->duration();
  if (const auto* engineItem = dynamic_cast<const QNVAssetForPlayer*>(item)) return engineItem->duration();
  return platform::MediaTime::zero();
}

platform::Size OVAdVideoNaturalSize(const platform::PlayerAsset* asset) {
  if (const auto* system = dynamic_cast<const platform::SystemPlayerAsset*>(asset)) return system->naturalSize();
  if (const auto* engine = dynamic_cast<const QNVAVAsset*>(asset)) return engine->naturalSize();
  return {};
}

void OVAdVideoSetVolume(platform::Player& player, float volume) {
  if (auto* engine = dynamic_cast<QNVPlayer*>(&player)) {
    engine->setVolume(volume);
  } else if (auto* system = dynamic_cast<platform::SystemPlayer*>(&player)) {
    system->setVolume(volume);
  }
}

std::shared_ptr<void> OVAdVideoAddPeriodicTimeObserver(platform::Player& player, const platform::MediaTime& interval,
                                                       platform::DispatchQueuePtr queue, OVAdVideoTimeBlock block) {
  if (auto* engine = dynamic_cast<QNVPlayer*>(&player)) {
    return engine->addPeriodicTimeObserverForInterval(
        interval, std::move(queue), [block = std::move(block)](platform::MediaTime time) { block(time); });
  }
  if (auto* system = dynamic_cast<platform::SystemPlayer*>(&player)) {
    return system->addPeriodicTimeObserver(interval, std::move(queue),
                                           [block = std::move(block)](platform::MediaTime time) { block(time); });
  }
  return nullptr;
}

void OVAdVideoRemoveTimeObserver(platform::Player& player, const std::shared_ptr<void>& token) {
  if (!token) return;
  if (auto* engine = dynamic_cast<QNVPlayer*>(&player)) {
    engine->removeTimeObserver(std::static_pointer_cast<QNVPlayerTimeObserver>(token));
  } else if (auto* system = dynamic_cast<platform::SystemPlayer*>(&player)) {
    system->removeTimeObserver(std::static_pointer_cast<platform::SystemPlayer::TimeObserver>(token));
  }
}

}  // namespace plexora

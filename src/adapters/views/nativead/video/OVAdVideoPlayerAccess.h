// What the video renderers read and ask of a player, item or asset beyond
// the shared player surfaces (platform/media/Player.h), answered alike for
// the library's engine and for the system's player: the item's failure and
// its error, its duration, the picture's size, the volume and periodic
// time observers. An object of neither kind (a bare double of the shared
// surfaces) answers the neutral value: not failed, no error, duration zero,
// size zero, no observer.
//
// Thread safety: main thread only, as the renderers call them.
// Ownership: nothing is kept; a time-observer token is the caller's.
#pragma once

#include <memory>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/Player.h"

namespace plexora {

// True once the item (or the engine player playing it) has failed.
bool OVAdVideoItemFailed(const platform::Player* player, const platform::PlayerItem* item);
// Why: the system's item's error, or the engine player's (its item's when
// the player has none).
std::optional<platform::Error> OVAdVideoPlaybackError(const platform::Player* player,
                                                      const platform::PlayerItem* item);
// Zero until known.
platform::MediaTime OVAdVideoItemDuration(const platform::PlayerItem* item);
platform::Size OVAdVideoNaturalSize(const platform::PlayerAsset* asset);
void OVAdVideoSetVolume(platform::Player& player, float volume);

using OVAdVideoTimeBlock = std::function<void(const platform::MediaTime& time)>;
// Null when the player keeps no time observers.
std::shared_ptr<void> OVAdVideoAddPeriodicTimeObserver(platform::Player& player, const platform::MediaTime& interval,
                                                       platform::DispatchQueuePtr queue, OVAdVideoTimeBlock block);
void OVAdVideoRemoveTimeObserver(platform::Player& player, const std::shared_ptr<void>& token);

}  // namespace plexora

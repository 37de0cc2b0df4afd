// What the system's player objects offer beyond the shared player surfaces
// (platform/media/Player.h): the asset's picture size, the item's status,
// duration, error and change observers, and the player's rate, volume,
// seek with completion and periodic time observers. The system kit's makers
// (SystemPlayerKit) answer objects that implement these; callers that need
// more than the shared surfaces cast to them.
//
// Notifications, posted on the default NotificationCenter with the item as
// object: the item's end (kAVPlayerItemDidPlayToEndTimeNotification), a
// stall while playing (kAVPlayerItemPlaybackStalledNotification) and a
// failure after the item was ready (kAVPlayerItemFailedToPlayToEndTime-
// Notification; item->error() tells why).
//
// Thread safety: as each implementation says. Ownership: the caller owns
// what it is handed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/media/Player.h"

namespace plexora::platform {

enum class SystemPlayerItemStatus : std::int64_t { kUnknown = 0, kReadyToPlay = 1, kFailed = 2 };

// The keys an item's observers are told about.
inline constexpr const char* kSystemPlayerItemStatusKey = "status";
inline constexpr const char* kSystemPlayerItemDurationKey = "duration";
inline constexpr const char* kSystemPlayerItemLikelyToKeepUpKey = "playbackLikelyToKeepUp";
inline constexpr const char* kSystemPlayerItemBufferFullKey = "playbackBufferFull";

class SystemPlayerAsset : public PlayerAsset {
 public:
  // Zero until loaded, and for a video without pictures.
  virtual Size naturalSize() const = 0;
  // Why loading failed, once it has.
  virtual std::optional<Error> error() const = 0;
};

class SystemPlayerItem : public PlayerItem {
 public:
  using ObserverToken = std::uint64_t;
  // Called with the key of the property that changed.
  using Observer = std::function<void(const std::string& key)>;

  virtual SystemPlayerItemStatus status() const = 0;
  virtual std::optional<Error> error() const = 0;
  // Zero until known.
  virtual MediaTime duration() const = 0;
  virtual std::shared_ptr<PlayerAsset> asset() const = 0;

  // The observer is called on the main queue after each change, until it
  // is removed.
  virtual ObserverToken addObserver(Observer observer) = 0;
  virtual void removeObserver(ObserverToken token) = 0;
};

class SystemPlayer : public Player {
 public:
  using SeekCompletion = std::function<void(bool finished)>;
  using TimeBlock = std::function<void(MediaTime time)>;
  // What addPeriodicTimeObserver answers, for removeTimeObserver.
  class TimeObserver {
   public:
    virtual ~TimeObserver() = default;
  };

  // A rate of zero pauses; a positive one plays at that speed.
  virtual void setRate(float rate) = 0;
  virtual void setVolume(float volume) = 0;
  virtual float volume() const = 0;
  // `completion` runs on the main queue: true once playback stands at the
  // new time, false when a later seek or a failure overtook it.
  virtual void seekToTime(const MediaTime& time, SeekCompletion completion) = 0;
  using Player::seekToTime;
  virtual std::shared_ptr<SystemPlayerItem> currentItem() const = 0;
  virtual std::optional<Error> error() const = 0;

  // `block` runs on `queue` every `interval` of playback time while the
  // player plays.
  virtual std::shared_ptr<TimeObserver> addPeriodicTimeObserver(const MediaTime& interval, DispatchQueuePtr queue,
                                                                TimeBlock block) = 0;
  virtual void removeTimeObserver(const std::shared_ptr<TimeObserver>& observer) = 0;
};

}  // namespace plexora::platform

// The surfaces through which the ad views drive a video, whichever player
// plays it: the library's own engine or the system's player. An asset is
// what is played, an item one playback of it, the player plays an item and
// the layer shows the picture. The engine's classes and the system's
// objects (SystemPlayerKit) both implement them, so view code never names
// either.
//
// Thread safety: as each implementation says; the ad views call them on the
// main thread. Ownership: the caller owns what it is handed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/ui/Geometry.h"

namespace plexora::platform {

// What the players post about an item, with the item as object, on the
// default NotificationCenter.
inline constexpr const char* kAVPlayerItemDidPlayToEndTimeNotification = "AVPlayerItemDidPlayToEndTimeNotification";
inline constexpr const char* kAVPlayerItemPlaybackStalledNotification = "AVPlayerItemPlaybackStalledNotification";
inline constexpr const char* kAVPlayerItemFailedToPlayToEndTimeNotification =
    "AVPlayerItemFailedToPlayToEndTimeNotification";
inline constexpr const char* kAVPlayerItemFailedToPlayToEndTimeErrorKey = "AVPlayerItemFailedToPlayToEndTimeErrorKey";

class PlayerAsset {
 public:
  virtual ~PlayerAsset() = default;
  // Calls the handler once the asset knows what the keys ask (or failed to
  // learn it).
  virtual void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                               std::function<void()> completionHandler) = 0;
  // Zero until known.
  virtual MediaTime duration() const = 0;
  virtual void cancelLoading() = 0;
};

class PlayerItem {
 public:
  virtual ~PlayerItem() = default;
  virtual MediaTime currentTime() const = 0;
  virtual bool isPlaybackLikelyToKeepUp() const = 0;
  virtual bool isPlaybackBufferFull() const = 0;
};

class Player {
 public:
  virtual ~Player() = default;
  virtual void play() = 0;
  virtual void pause() = 0;
  virtual void setMuted(bool muted) = 0;
  virtual bool isMuted() const = 0;
  virtual float rate() const = 0;
  virtual MediaTime currentTime() const = 0;
  virtual void seekToTime(const MediaTime& time) = 0;
};

class PlayerLayer {
 public:
  virtual ~PlayerLayer() = default;
  virtual void setBounds(Rect bounds) = 0;
  virtual Rect bounds() const = 0;
};

}  // namespace plexora::platform

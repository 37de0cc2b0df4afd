// What a media-view video renderer keeps (include/plexora/OVMediaView-
// VideoRenderer.h): the player, item and asset of the current load, the
// video view showing them, the video logger, the time observers and the
// playback flags. The library's own renderers and the tests read it.
//
// Thread safety: main thread only.
// Ownership: the renderer owns its state; callbacks of a load hold the
// renderer weakly and find the state through it, and the renderer's own
// progress reporter holds the state weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/views/nativead/video/OVAdTimeObserver.h"
#include "adapters/views/nativead/video/OVAdVideoPlayerView.h"
#include "platform/media/Player.h"
#include "platform/media/SystemPlayer.h"
#include "plexora/OVMediaViewVideoRenderer.h"
#include "util/compatibility/OVAdQNVCompatibility.h"

namespace plexora {

class OVAdKeyValueObserver;
class OVAdNotificationCenter;
class OVAdVideoLogger;
class QNVAssetForCache;
class QNVPlayer;

inline constexpr const char* kOVMediaViewVideoDurationKey = "duration";
inline constexpr const char* kOVMediaViewPlaybackFailedFormat = "Video playback failed with error code %ld (%s)";
inline constexpr const char* kOVMediaViewPlaybackFailedUnknown = "Video playback failed with unknown error";
inline constexpr const char* kOVMediaViewUnsupportedAsset = "Asset is an unsupported type";
inline constexpr const char* kOVMediaViewInvalidResponse = "Asset returning invalid response";

struct OVMediaViewVideoRendererState {
  explicit OVMediaViewVideoRendererState(OVMediaViewVideoRenderer& owner) : owner(owner) {}

  OVMediaViewVideoRenderer& owner;

  OVMediaViewVideoRenderer::Block loadedBlock;
  // Taken (so run at most once) by the first failure of its load.
  OVMediaViewVideoRenderer::Block failureBlock;
  bool isSeeking = false;
  bool isStarted = false;
  bool playingBeforeSeeked = false;
  // What the renderer last asked of its player. The engine's rate follows a
  // play or pause only once its queue has run it, so play and pause are
  // guarded on this instead.
  bool intendsToPlay = false;
  float volume = 1.0F;

  // Moves on with every load: callbacks of an earlier load find it changed
  // and do nothing.
  std::uint64_t load = 0;
  OVAdVideoLibrary library = OVAdVideoLibrary::kQNVPlayer;
  std::shared_ptr<platform::PlayerAsset> asset;
  std::shared_ptr<platform::PlayerItem> playerItem;
  std::shared_ptr<platform::Player> player;
  std::vector<std::shared_ptr<OVAdTimeObserver>> timingObservers;
  std::shared_ptr<platform::View> videoContainerView;
  std::shared_ptr<OVAdVideoPlayerView> videoView;
  std::shared_ptr<OVAdVideoLogger> videoLogger;
  // The error of the last failure of the current load, if any.
  std::optional<platform::Error> lastError;

  // The current item's observation; ended by the next load.
  std::shared_ptr<OVAdNotificationCenter> notifications;
  std::shared_ptr<OVAdKeyValueObserver> engineStatusObserver;
  std::weak_ptr<QNVPlayer> observedEnginePlayer;
  std::weak_ptr<platform::SystemPlayerItem> observedSystemItem;
  platform::SystemPlayerItem::ObserverToken systemItemObserver = 0;

  bool itemFailed() const;
  void attach(OVAdTimeObserver& observer);
  void detach(OVAdTimeObserver& observer);
  void endItemObservation();

  // The steps of a load, each for the load it was started for.
  void assetArrived(std::uint64_t forLoad, const platform::URL& url, const std::shared_ptr<QNVAssetForCache>& asset);
  void itemReady(std::uint64_t forLoad, const platform::URL& url);
  void startPlayer(std::uint64_t forLoad);
  void observeItem(std::uint64_t forLoad);
  void finishLoad(std::uint64_t forLoad);
  void playbackFailed(std::uint64_t forLoad);
  void reachedEnd(std::uint64_t forLoad);
  void fail(std::int64_t code, const std::string& description);
  void reportProgress();
};

}  // namespace plexora

// Where the video ad views enter the video engine: the choice between the
// library's own engine and the system's player, and the factories of the
// player, item, asset and layer of the chosen kind. Callers take what the
// factories return and drive it through the shared surfaces (QNVAVPlayer,
// QNVAVPlayerItem, QNVAVAsset, QNVAVPlayerLayer; platform/media/Player.h).
//
// One choice per ad: the objects of one video must all come from the same
// player, so a caller takes the choice once (OVAdChooseVideoLibrary) and
// hands it to every factory it calls for that ad. The factories never ask
// again, so a configuration that changes between two calls cannot give one
// ad an engine item and a system player.
//
// Without a system player on the platform (no platform::SystemPlayerKit
// installed) the system's objects cannot be made: the factories answer
// null for that choice.
//
// Thread safety: every function may be called from any thread, except that
// making an engine layer (and the engine player, which starts on it) is for
// the main thread, as the layer requires. Ownership: the caller owns what
// it is handed; the system's players and items are destroyed on the
// background deallocation queue when their last owner lets go.
#pragma once

#include <memory>

#include "platform/foundation/URL.h"
#include "platform/media/Player.h"

namespace plexora {

inline constexpr const char* kOVAdUsingVideoLibraryFormat = "Using Video Library: %s";
inline constexpr const char* kOVAdVideoLibraryQNVPlayer = "QNVPlayer";
inline constexpr const char* kOVAdVideoLibraryAVPlayer = "AVPlayer";

enum class OVAdVideoLibrary { kQNVPlayer, kAVPlayer };

// Whether the library's own engine plays videos: not while background video
// playback is allowed, else as the configuration's "ios_qnv_enabled" says
// (on when absent). There is no system-version gate: the engine runs on
// every system this platform builds for, and the system version here is the
// kernel's, which says nothing about it. The first call in the process logs
// its answer; no later call logs.
bool OVAdShouldUseQNVPlayer();
// Tests sharing one process: the next call logs its answer again.
void OVAdResetVideoLibraryLogForTesting();

// The choice for one ad, taken now.
OVAdVideoLibrary OVAdChooseVideoLibrary();

// The engine's player, built with `layer` as its display engine and playing
// `item`, when the engine is chosen and both are the engine's; otherwise the
// system's player for `item` (the layer is then not used).
std::shared_ptr<platform::Player> OVAdCreateVideoPlayer(OVAdVideoLibrary library,
                                                        std::shared_ptr<platform::PlayerItem> item,
                                                        std::shared_ptr<platform::PlayerLayer> layer);

// With the engine: the asset itself when it is an engine item, else a new
// engine asset for `url`. With the system's player: a new item for `asset`.
std::shared_ptr<platform::PlayerItem> OVAdCreateVideoPlayerItem(OVAdVideoLibrary library,
                                                                std::shared_ptr<platform::PlayerAsset> asset,
                                                                const platform::URL& url);

// With the engine: the local MP4 asset for a file, the remote MP4 asset
// (fetching through the shared resource loader) for any other URL. With the
// system's player: its URL asset (`isFile` not used).
std::shared_ptr<platform::PlayerAsset> OVAdCreateVideoAsset(OVAdVideoLibrary library, const platform::URL& url,
                                                            bool isFile);

// With the engine: a new engine layer (off-main-thread rendering as the
// configuration's "ios_qnv_off_thread_rendering_enabled" says, memory
// optimised, the default ring). With the system's player: its layer.
std::shared_ptr<platform::PlayerLayer> OVAdCreateVideoPlayerLayer(OVAdVideoLibrary library);

}  // namespace plexora

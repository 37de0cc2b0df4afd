// The system's own media player, where the platform has one: it makes URL
// assets, player items, players and layers that implement the shared
// player surfaces (platform/media/Player.h).
//
// On Linux the system's player is GStreamer's (GStreamerPlayerKit), the
// kit installed from the start; another kit installed here (tests install
// doubles) takes its place, and installing null leaves the library's engine
// the only player.
//
// Thread safety: install() and installed() from any thread; the kit's
// makers as the kit says (the ad views call them on the main thread).
// Ownership: the platform holds the installed kit; each maker's result
// belongs to the caller.
#pragma once

#include <memory>

#include "platform/foundation/URL.h"
#include "platform/media/Player.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

// The system's layer is told its player; the engine's layer is built with
// it instead.
class SystemPlayerLayer : public PlayerLayer {
 public:
  virtual void setPlayer(std::shared_ptr<Player> player) = 0;
  virtual std::shared_ptr<Player> player() const = 0;
  // The picture shown now, for the view that draws the layer; null while
  // there is none (and for a layer that cannot be read back).
  virtual std::shared_ptr<Image> presentedImage() const { return nullptr; }
};

class SystemPlayerKit {
 public:
  virtual ~SystemPlayerKit() = default;

  virtual std::shared_ptr<PlayerAsset> makeURLAsset(const URL& url) = 0;
  virtual std::shared_ptr<PlayerItem> makePlayerItem(std::shared_ptr<PlayerAsset> asset) = 0;
  virtual std::shared_ptr<Player> makePlayer(std::shared_ptr<PlayerItem> item) = 0;
  virtual std::shared_ptr<SystemPlayerLayer> makePlayerLayer() = 0;

  // Null while none is installed; installing null switches it off again.
  static std::shared_ptr<SystemPlayerKit> installed();
  static void install(std::shared_ptr<SystemPlayerKit> kit);
};

}  // namespace plexora::platform

// The system's own media player, where the platform has one: it makes URL
// assets, player items, players and layers that implement the shared
// player surfaces (platform/media/Player.h).
//
// No system player exists on this platform, so by default no kit is
// installed (installed() answers null) and the library's engine is the only
// player; a kit installed here (tests install doubles) switches the
// system's player on for the choices that ask for it.
//
// Thread safety: install() and installed() from any thread; the kit's
// makers as the kit says (the ad views call them on the main thread).
// Ownership: the platform holds the installed kit; each maker's result
// belongs to the caller.
#pragma once

#include <memory>

#include "platform/foundation/URL.h"
#include "platform/media/Player.h"

namespace plexora::platform {

// The system's layer is told its player; the engine's layer is built with
// it instead.
class SystemPlayerLayer : public PlayerLayer {
 public:
  virtual void setPlayer(std::shared_ptr<Player> player) = 0;
  virtual std::shared_ptr<Player> player() const = 0;
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

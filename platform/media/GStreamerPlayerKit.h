// The system player kit on Linux, over GStreamer: the default kit of the
// platform (SystemPlayerKit::installed()). Its makers take only objects of
// its own making; anything else answers null.
//
// Thread safety: the makers may be called from any thread; what they make
// is used as its class says.
// Ownership: each maker's result belongs to the caller.
#pragma once

#include "platform/media/SystemPlayerKit.h"

namespace plexora::platform {

class GStreamerPlayerKit final : public SystemPlayerKit {
 public:
  std::shared_ptr<PlayerAsset> makeURLAsset(const URL& url) override;
  std::shared_ptr<PlayerItem> makePlayerItem(std::shared_ptr<PlayerAsset> asset) override;
  std::shared_ptr<Player> makePlayer(std::shared_ptr<PlayerItem> item) override;
  std::shared_ptr<SystemPlayerLayer> makePlayerLayer() override;
};

}  // namespace plexora::platform

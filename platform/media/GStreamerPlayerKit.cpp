#include "platform/media/GStreamerPlayerKit.h"

#include <utility>

#include "platform/media/GStreamerPlayer.h"
#include "platform/media/GStreamerPlayerAsset.h"
#include "platform/media/GStreamerPlayerItem.h"
#include "platform/media/GStreamerPlayerLayer.h"

namespace plexora::platform {

std::shared_ptr<PlayerAsset> GStreamerPlayerKit::makeURLAsset(const URL& url) {
  return GStreamerPlayerAsset::create(url);
}

std::shared_ptr<PlayerItem> GStreamerPlayerKit::makePlayerItem(std::shared_ptr<PlayerAsset> asset) {
  return GStreamerPlayerItem::create(std::dynamic_pointer_cast<GStreamerPlayerAsset>(std::move(asset)));
}

std::shared_ptr<Player> GStreamerPlayerKit::makePlayer(std::shared_ptr<PlayerItem> item) {
  return GStreamerPlayer::create(std::dynamic_pointer_cast<GStreamerPlayerItem>(std::move(item)));
}

std::shared_ptr<SystemPlayerLayer> GStreamerPlayerKit::makePlayerLayer() {
  return std::make_shared<GStreamerPlayerLayer>();
}

}  // namespace plexora::platform

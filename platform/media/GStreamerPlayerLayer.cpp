#include "platform/media/GStreamerPlayerLayer.h"

#include <utility>

namespace plexora::platform {

void GStreamerPlayerLayer::setBounds(Rect bounds) {
  std::lock_guard lock(mutex_);
  bounds_ = bounds;
}

Rect GStreamerPlayerLayer::bounds() const {
  std::lock_guard lock(mutex_);
  return bounds_;
}

void GStreamerPlayerLayer::setPlayer(std::shared_ptr<Player> player) {
  std::lock_guard lock(mutex_);
  player_ = std::move(player);
}

std::shared_ptr<Player> GStreamerPlayerLayer::player() const {
  std::lock_guard lock(mutex_);
  return player_;
}

std::shared_ptr<GStreamerFrameStore> GStreamerPlayerLayer::frames() const {
  const auto player = std::dynamic_pointer_cast<GStreamerPlayer>(this->player());
  return player ? player->item()->frames() : nullptr;
}

std::shared_ptr<Image> GStreamerPlayerLayer::presentedImage() const {
  const auto store = frames();
  return store ? store->frame() : nullptr;
}

std::optional<MediaTime> GStreamerPlayerLayer::presentedTime() const {
  const auto store = frames();
  return store ? store->time() : std::nullopt;
}

}  // namespace plexora::platform

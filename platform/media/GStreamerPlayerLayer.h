// The system player's layer on Linux: shows the newest frame its player's
// pipeline delivered (the first one as soon as the item has prerolled), at
// the video's own size; whoever draws the layer scales it into the bounds.
//
// Thread safety: setPlayer and setBounds on the main thread; the readings
// from any thread.
// Ownership: the layer holds its player strongly, as the views expect.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "platform/media/GStreamerPlayer.h"
#include "platform/media/SystemPlayerKit.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

class GStreamerPlayerLayer final : public SystemPlayerLayer {
 public:
  GStreamerPlayerLayer() = default;

  void setBounds(Rect bounds) override;
  Rect bounds() const override;
  // A player of another kind shows nothing.
  void setPlayer(std::shared_ptr<Player> player) override;
  std::shared_ptr<Player> player() const override;

  // The picture shown now; null without a player or before its first frame.
  std::shared_ptr<Image> presentedImage() const override;
  // The item's time of that picture.
  std::optional<MediaTime> presentedTime() const;

 private:
  std::shared_ptr<GStreamerFrameStore> frames() const;

  mutable std::mutex mutex_;
  Rect bounds_;
  std::shared_ptr<Player> player_;
};

}  // namespace plexora::platform

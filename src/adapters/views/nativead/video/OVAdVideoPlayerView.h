// The view that shows a video ad's picture. It hosts one player layer made
// by the video-library factory (the engine's layer, or the system's), takes
// the library choice once when it is made, and draws the layer's presented
// frame fit in its bounds. Its users read videoLibrary() and playerLayer()
// to build the player of the same kind, bound to this layer, and hand it to
// setPlayer(): the system's layer is told the player, the engine's was
// bound to it when the player was made.
//
// Thread safety: main thread only, except the view's last release, which
// may happen on any thread: the layer is then taken down on the main queue.
// Ownership: the view owns its layer and keeps the player last handed to
// it; an engine layer is invalidated when the view goes.
#pragma once

#include <memory>

#include "platform/media/Player.h"
#include "platform/ui/View.h"
#include "util/compatibility/OVAdQNVCompatibility.h"

namespace plexora {

inline constexpr const char* kOVAdVideoPlayerViewInvalidatingRenderer =
    "QNV player layer invalidating video renderer... (OpenGL context reset)";

class OVAdVideoPlayerView final : public platform::View {
 public:
  static std::shared_ptr<OVAdVideoPlayerView> initWithFrame(platform::Rect frame);
  static std::shared_ptr<OVAdVideoPlayerView> init() { return initWithFrame({}); }
  explicit OVAdVideoPlayerView(platform::Rect frame);
  ~OVAdVideoPlayerView() override;

  // Makes and attaches the layer; later calls do nothing.
  void initVideoLayer();
  // With `resize`, the layer takes the view's bounds at once; else nothing.
  void updateView(bool resize);

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;

  void setPlayer(std::shared_ptr<platform::Player> player);
  const std::shared_ptr<platform::Player>& player() const { return player_; }
  const std::shared_ptr<platform::PlayerLayer>& playerLayer() const { return playerLayer_; }
  void setPlayerLayer(std::shared_ptr<platform::PlayerLayer> layer) { playerLayer_ = std::move(layer); }
  bool initialized() const { return initialized_; }
  void setInitialized(bool initialized) { initialized_ = initialized; }
  // The library the layer belongs to; the player must come from the same.
  OVAdVideoLibrary videoLibrary() const { return library_; }

  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  OVAdVideoLibrary library_;
  std::shared_ptr<platform::PlayerLayer> playerLayer_;
  std::shared_ptr<platform::Player> player_;
  bool initialized_ = false;
};

}  // namespace plexora
